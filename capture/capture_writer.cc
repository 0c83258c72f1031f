#include "capture/capture_writer.h"

#include "platform/log.h"

namespace capture {

CaptureWriter::~CaptureWriter() {
  if (asset_writer_) asset_writer_->CancelWriting();
}

void CaptureWriter::ShowError(const std::string& what) const {
  platform::Logf("%s error %s", kind_, what.c_str());
}

bool CaptureWriter::CreateWriter(const std::string& path) {
  if (asset_writer_) {
    ShowError("a recording is already being written to " + output_path_);
    return false;
  }
  std::string error;
  asset_writer_ = platform::DefaultAssetWriterFactory().CreateWriter(path, &error);
  if (!asset_writer_) {
    ShowError(error);
    return false;
  }
  output_path_ = path;
  session_start_us_.reset();
  return true;
}

void CaptureWriter::DropWriter() {
  if (asset_writer_) asset_writer_->CancelWriting();
  asset_writer_.reset();
}

bool CaptureWriter::IsRecording() const {
  return asset_writer_ && asset_writer_->status() == platform::AssetWriterStatus::kWriting;
}

bool CaptureWriter::ReadyForSample(int64_t pts_us) {
  if (!asset_writer_) return false;
  if (asset_writer_->status() == platform::AssetWriterStatus::kUnknown) {
    if (asset_writer_->StartWriting()) {
      asset_writer_->StartSession(pts_us);
      session_start_us_ = pts_us;
    } else {
      ShowError(asset_writer_->error());
    }
  }
  return asset_writer_->status() == platform::AssetWriterStatus::kWriting &&
         asset_writer_->IsReadyForMoreMediaData();
}

bool CaptureWriter::StopWriting() {
  if (!asset_writer_) return false;
  std::unique_ptr<platform::AssetWriter> writer = std::move(asset_writer_);
  session_start_us_.reset();
  switch (writer->status()) {
    case platform::AssetWriterStatus::kWriting: {
      const bool finished = writer->FinishWriting();
      if (!finished) ShowError(writer->error());
      return finished;
    }
    case platform::AssetWriterStatus::kUnknown:
      // Never got a sample: there is no file; cancel so that it never starts.
      writer->CancelWriting();
      ShowError("stopped before the first sample: " + output_path_);
      return false;
    default:
      ShowError(writer->error());
      return false;
  }
}

}  // namespace capture
