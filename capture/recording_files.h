// RecordingFiles: where recordings, their thumbnails and the sample files live.
//
// T is the temporary directory, H the signed-in user's id as hexadecimal text
// (the per-user file prefix), S the local date and time "yyMMddHHmmss"
// followed by the milliseconds of the day:
//   audio recording      T/H_SA.mov
//   video recording      T/H_SV.mov
//   recording thumbnail  <video recording>.jpg
//   first-frame picture  T/H_firstFrame_weibo.jpg (shared when posting to Sina Weibo)
//   sample files         T/sample_video.mov, T/sample_audio.mov
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace capture {

class RecordingFiles {
 public:
  // Two lower-case hexadecimal digits per byte of the text, at most 255 bytes.
  static std::string HexText(std::string_view text);
  // HexText of the signed-in user's id.
  static std::string UserPrefix();
  static std::string TmpDirectory();
  // "yyMMddHHmmss" then the milliseconds since local midnight, unpadded.
  static std::string TimeStampText(platform::WallTime when);

  static std::string AudioRecordingPath(platform::WallTime when);
  static std::string VideoRecordingPath(platform::WallTime when);
  static std::string ThumbnailPath(const std::string& video_path);
  static std::string FirstFrameImagePath();
  static std::string SampleVideoFile();
  static std::string SampleAudioFile();

  // The engine's judgement of a pair of sample files (video path, audio path).
  using SampleCheck = std::function<bool(const std::string&, const std::string&)>;
  // True when both sample files exist and `check` (when given) accepts them;
  // otherwise both are deleted, so that the next recording writes new ones.
  static bool HasSampleVideoAndAudioFile(const SampleCheck& check);
};

}  // namespace capture
