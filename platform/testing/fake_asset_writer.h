// FakeAssetWriterFactory: asset writers that keep what they were given and
// write a small text file in place of a movie ("movie" when writing starts, a
// line per sample, "moov" when finished), so that tests see files appear, grow,
// finish or stay behind, without encoding anything.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/asset_writer.h"

namespace platform {

struct FakeWriterRecord {
  std::string path;
  bool video = false;
  VideoOutputSettings video_settings;
  AudioOutputSettings audio_settings;
  AssetWriterStatus status = AssetWriterStatus::kUnknown;
  int64_t session_start_us = -1;
  std::vector<int64_t> appended_pts;
  std::vector<VideoFrame> frames;   // the video samples as appended
  std::vector<AudioSamples> audio;  // the audio samples as appended
  bool destroyed = false;
};

class FakeAssetWriterFactory final : public AssetWriterFactory {
 public:
  std::unique_ptr<AssetWriter> CreateWriter(const std::string& path, std::string* error) override;

  // Every writer made, in order.
  std::vector<std::shared_ptr<FakeWriterRecord>> writers;
  // The last writer made for a path that contains `part`.
  std::shared_ptr<FakeWriterRecord> Last(const std::string& part) const;

  // Failures: CreateWriter fails for paths containing one of these texts;
  // StartWriting likewise; IsReadyForMoreMediaData answers `ready`.
  std::set<std::string> fail_create;
  std::set<std::string> fail_start;
  bool ready = true;
};

}  // namespace platform
