#include "capture/recording_files.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <fstream>

#include "platform/file_system.h"
#include "platform/testing/fake_platform.h"
#include "shell/login_user_info_preferences.h"

namespace capture {
namespace {

using platform::Value;

class RecordingFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
  }
  platform::FakePlatform fake;
};

TEST_F(RecordingFilesTest, HexText) {
  EXPECT_EQ(RecordingFiles::HexText(""), "");
  EXPECT_EQ(RecordingFiles::HexText("12"), "3132");
  EXPECT_EQ(RecordingFiles::HexText("\xff\x01"), "ff01");
  EXPECT_EQ(RecordingFiles::HexText(std::string(300, 'a')).size(), 510u);
  EXPECT_EQ(RecordingFiles::UserPrefix(), "286e756c6c29");  // "(null)": nobody signed in
}

TEST_F(RecordingFilesTest, NamesFromUserAndTime) {
  shell::LoginUserInfoPreferences::SaveLoginUser(
      Value(Value::Dictionary{{"_id", Value(12)}, {"login_meta", Value(Value::Dictionary{})}}));
  // 2024-06-10 06:13:20.123 UTC: 22400123 ms into the day.
  const auto at = platform::WallTime(std::chrono::milliseconds(1718000000123));
  EXPECT_EQ(RecordingFiles::TimeStampText(at), "24061006132022400123");
  const std::string tmp = fake.environment.TemporaryDirectory();
  EXPECT_EQ(RecordingFiles::AudioRecordingPath(at), tmp + "/3132_24061006132022400123A.mov");
  EXPECT_EQ(RecordingFiles::VideoRecordingPath(at), tmp + "/3132_24061006132022400123V.mov");
  EXPECT_EQ(RecordingFiles::ThumbnailPath("/t/x.mov"), "/t/x.mov.jpg");
  EXPECT_EQ(RecordingFiles::FirstFrameImagePath(), tmp + "/3132_firstFrame_weibo.jpg");
  EXPECT_EQ(RecordingFiles::SampleVideoFile(), tmp + "/sample_video.mov");
  EXPECT_EQ(RecordingFiles::SampleAudioFile(), tmp + "/sample_audio.mov");
}

TEST_F(RecordingFilesTest, SampleFilesAreKeptOnlyInPairsThatPassTheCheck) {
  auto& fs = platform::DefaultFileSystem();
  const std::string video = RecordingFiles::SampleVideoFile();
  const std::string audio = RecordingFiles::SampleAudioFile();
  auto make = [&](bool v, bool a) {
    if (v) std::ofstream(video) << "v";
    if (a) std::ofstream(audio) << "a";
  };
  auto accept = [](const std::string&, const std::string&) { return true; };
  auto reject = [](const std::string&, const std::string&) { return false; };
  struct Case {
    bool video, audio;
    RecordingFiles::SampleCheck check;
    bool expected;
  };
  const Case cases[] = {
      {false, false, accept, false}, {true, false, accept, false}, {false, true, accept, false},
      {true, true, reject, false},   {true, true, accept, true},   {true, true, nullptr, true},
  };
  for (const Case& c : cases) {
    make(c.video, c.audio);
    EXPECT_EQ(RecordingFiles::HasSampleVideoAndAudioFile(c.check), c.expected);
    EXPECT_EQ(fs.Exists(video), c.expected);
    EXPECT_EQ(fs.Exists(audio), c.expected);
    fs.RemoveFile(video);
    fs.RemoveFile(audio);
  }
}

}  // namespace
}  // namespace capture
