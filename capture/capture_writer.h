// CaptureWriter: what the video and the audio writer share: one asset writer
// per recording file, started at the first sample so that the file's time line
// begins with it, finished synchronously on stop.
//
//   no writer --StartWriting--> writer (unknown) --first sample--> writing
//             --StopWriting--> finished and dropped
//
// A writer that is stopped before its first sample is cancelled and dropped
// as well: it must not start writing at a later sample, after the engine was
// told that the recording is final.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/asset_writer.h"

namespace capture {

class CaptureWriter {
 public:
  virtual ~CaptureWriter();

  // Finishes the file (synchronously); true when it was written and finished.
  // The writer is dropped in every case.
  bool StopWriting();
  // True while the asset writer is writing.
  bool IsRecording() const;
  // The path of the current (or last) recording file.
  const std::string& output_path() const { return output_path_; }
  bool has_writer() const { return asset_writer_ != nullptr; }
  // The capture time that is time zero of the file being written, once its
  // first sample has started it.
  std::optional<int64_t> session_start_us() const { return session_start_us_; }
  // Logs "<kind> error <what>".
  void ShowError(const std::string& what) const;

 protected:
  explicit CaptureWriter(const char* kind) : kind_(kind) {}

  // Creates the asset writer for `path`; false (logged) when it cannot be made.
  bool CreateWriter(const std::string& path);
  // Drops the writer after a failed start.
  void DropWriter();
  // Starts writing at the first sample; true when a sample of time `pts_us`
  // may be appended now.
  bool ReadyForSample(int64_t pts_us);

  std::unique_ptr<platform::AssetWriter> asset_writer_;
  std::string output_path_;

 private:
  std::optional<int64_t> session_start_us_;
  const char* kind_;
};

}  // namespace capture
