#include "capture/recording_files.h"

#include <time.h>

#include <chrono>
#include <cstdio>

#include "platform/environment.h"
#include "platform/file_system.h"
#include "shell/login_user_info_preferences.h"
#include "shell/selvo_utils.h"

namespace capture {
namespace {

std::string InTmp(const std::string& name) {
  std::string dir = RecordingFiles::TmpDirectory();
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir + "/" + name;
}

}  // namespace

std::string RecordingFiles::HexText(std::string_view text) {
  return shell::SelvoUtils::HexText(std::string(text));
}

std::string RecordingFiles::UserPrefix() {
  return HexText(shell::LoginUserInfoPreferences::UserId());
}

std::string RecordingFiles::TmpDirectory() {
  return platform::DefaultEnvironment().TemporaryDirectory();
}

std::string RecordingFiles::TimeStampText(platform::WallTime when) {
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
  time_t seconds = static_cast<time_t>(ms / 1000);
  struct tm local {};
  localtime_r(&seconds, &local);
  const long ms_of_day =
      ((local.tm_hour * 60L + local.tm_min) * 60L + local.tm_sec) * 1000L + ms % 1000;
  char text[40];
  std::snprintf(text, sizeof text, "%02d%02d%02d%02d%02d%02d%ld", local.tm_year % 100,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                ms_of_day);
  return text;
}

std::string RecordingFiles::AudioRecordingPath(platform::WallTime when) {
  return InTmp(UserPrefix() + "_" + TimeStampText(when) + "A.mov");
}

std::string RecordingFiles::VideoRecordingPath(platform::WallTime when) {
  return InTmp(UserPrefix() + "_" + TimeStampText(when) + "V.mov");
}

std::string RecordingFiles::ThumbnailPath(const std::string& video_path) {
  return video_path + ".jpg";
}

std::string RecordingFiles::FirstFrameImagePath() {
  return InTmp(UserPrefix() + "_firstFrame_weibo.jpg");
}

std::string RecordingFiles::SampleVideoFile() { return InTmp("sample_video.mov"); }
std::string RecordingFiles::SampleAudioFile() { return InTmp("sample_audio.mov"); }

bool RecordingFiles::HasSampleVideoAndAudioFile(const SampleCheck& check) {
  auto& fs = platform::DefaultFileSystem();
  const std::string video = SampleVideoFile();
  const std::string audio = SampleAudioFile();
  if (fs.Exists(video) && fs.Exists(audio) && (!check || check(video, audio))) return true;
  fs.RemoveFile(video);
  fs.RemoveFile(audio);
  return false;
}

}  // namespace capture
