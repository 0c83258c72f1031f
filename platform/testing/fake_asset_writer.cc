#include "platform/testing/fake_asset_writer.h"

#include <sys/stat.h>

#include <fstream>

namespace platform {
namespace {

bool Contains(const std::set<std::string>& parts, const std::string& path) {
  for (const auto& part : parts) {
    if (path.find(part) != std::string::npos) return true;
  }
  return false;
}

class FakeAssetWriter final : public AssetWriter {
 public:
  FakeAssetWriter(FakeAssetWriterFactory& factory, std::shared_ptr<FakeWriterRecord> record)
      : factory_(factory), record_(std::move(record)) {}
  ~FakeAssetWriter() override { record_->destroyed = true; }

  const std::string& output_path() const override { return record_->path; }
  bool AddVideoInput(const VideoOutputSettings& s) override {
    if (has_input_) return Fail("input exists");
    has_input_ = true;
    record_->video = true;
    record_->video_settings = s;
    return true;
  }
  bool AddAudioInput(const AudioOutputSettings& s) override {
    if (has_input_) return Fail("input exists");
    has_input_ = true;
    record_->audio_settings = s;
    return true;
  }
  bool StartWriting() override {
    if (record_->status != AssetWriterStatus::kUnknown || !has_input_) return Fail("cannot start");
    if (Contains(factory_.fail_start, record_->path)) {
      record_->status = AssetWriterStatus::kFailed;
      error_ = "start refused";
      return false;
    }
    std::ofstream(record_->path) << "movie\n";
    record_->status = AssetWriterStatus::kWriting;
    return true;
  }
  void StartSession(int64_t t) override { record_->session_start_us = t; }
  bool IsReadyForMoreMediaData() const override {
    return record_->status == AssetWriterStatus::kWriting && factory_.ready;
  }
  bool AppendVideo(const VideoFrame& frame) override {
    if (!Append(frame.pts_us, true)) return false;
    record_->frames.push_back(frame);
    return true;
  }
  bool AppendAudio(const AudioSamples& samples) override {
    if (!Append(samples.pts_us, false)) return false;
    record_->audio.push_back(samples);
    return true;
  }
  bool FinishWriting() override {
    if (record_->status != AssetWriterStatus::kWriting) return Fail("not writing");
    std::ofstream(record_->path, std::ios::app) << "moov\n";
    record_->status = AssetWriterStatus::kCompleted;
    return true;
  }
  void CancelWriting() override {
    if (record_->status == AssetWriterStatus::kUnknown ||
        record_->status == AssetWriterStatus::kWriting) {
      record_->status = AssetWriterStatus::kCancelled;
    }
  }
  AssetWriterStatus status() const override { return record_->status; }
  std::string error() const override { return error_; }

 private:
  bool Append(int64_t pts, bool video) {
    if (record_->status != AssetWriterStatus::kWriting || video != record_->video) {
      return Fail("cannot append");
    }
    record_->appended_pts.push_back(pts);
    std::ofstream(record_->path, std::ios::app) << "sample " << pts << "\n";
    return true;
  }
  bool Fail(std::string text) {
    error_ = std::move(text);
    return false;
  }

  FakeAssetWriterFactory& factory_;
  std::shared_ptr<FakeWriterRecord> record_;
  bool has_input_ = false;
  std::string error_;
};

}  // namespace

std::unique_ptr<AssetWriter> FakeAssetWriterFactory::CreateWriter(const std::string& path,
                                                                  std::string* error) {
  struct stat st {};
  if (Contains(fail_create, path) || ::stat(path.c_str(), &st) == 0) {
    if (error) *error = "Cannot create file " + path;
    return nullptr;
  }
  auto record = std::make_shared<FakeWriterRecord>();
  record->path = path;
  writers.push_back(record);
  return std::make_unique<FakeAssetWriter>(*this, record);
}

std::shared_ptr<FakeWriterRecord> FakeAssetWriterFactory::Last(const std::string& part) const {
  for (auto it = writers.rbegin(); it != writers.rend(); ++it) {
    if ((*it)->path.find(part) != std::string::npos) return *it;
  }
  return nullptr;
}

}  // namespace platform
