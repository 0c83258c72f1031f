#include "shell/selvo_utils.h"

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "platform/json.h"
#include "platform/testing/fake_platform.h"
#include "shell/login_user_info_preferences.h"

namespace shell {
namespace {

TEST(SelvoUtilsTest, UserAgent) {
  platform::FakePlatform fake;
  fake.environment.version = "2.1";
  fake.environment.locale = "zh_CN";
  EXPECT_EQ(SelvoUtils::DefaultUserAgentString(), "Selvo 2.1 (x86_64; Linux 6.1.0-test; zh_CN)");
  EXPECT_EQ(SelvoUtils::UserAgentVersionText("2.1", "2.1"), "2.1");
  EXPECT_EQ(SelvoUtils::UserAgentVersionText("2.1", "305"), "2.1 rv:305");
  EXPECT_EQ(SelvoUtils::UserAgentVersionText("", "305"), "305");
  EXPECT_EQ(SelvoUtils::UserAgentVersionText("2.1", ""), "2.1");
}

TEST(SelvoUtilsTest, PlatformNameFoldsPhoneFamilies) {
  EXPECT_EQ(SelvoUtils::PlatformNameFor("iPhone4,1"), "iPhone");
  EXPECT_EQ(SelvoUtils::PlatformNameFor("iPad2,5"), "iPad");
  EXPECT_EQ(SelvoUtils::PlatformNameFor("iPod5,1"), "iPod Touch");
  EXPECT_EQ(SelvoUtils::PlatformNameFor("x86_64"), "x86_64");
}

}  // namespace
}  // namespace shell

namespace shell {
namespace {

TEST(SelvoUtilsTest, Validators) {
  EXPECT_FALSE(SelvoUtils::IsValidPassword("12345"));
  EXPECT_TRUE(SelvoUtils::IsValidPassword("123456"));
  EXPECT_TRUE(SelvoUtils::IsValidPassword(std::string(24, 'p')));
  EXPECT_FALSE(SelvoUtils::IsValidPassword(std::string(25, 'p')));
  EXPECT_TRUE(SelvoUtils::IsValidPassword("密码密码密码"));  // six characters

  EXPECT_FALSE(SelvoUtils::IsValidScreenName("   "));
  EXPECT_FALSE(SelvoUtils::IsValidScreenName("abcdefghijk"));
  EXPECT_TRUE(SelvoUtils::IsValidScreenName("  abcdefghij \n"));
  EXPECT_TRUE(SelvoUtils::IsValidScreenName("张三"));

  const std::pair<std::string, bool> emails[] = {
      {"li@example.com", true},
      {"Li.Wang+tag@Mail.Example.CN", true},
      {"li@example.museum", true},  // top-level domains longer than four letters
      {"li@example.photography", true},
      {"li@example.c", false},
      {"li@example", false},
      {"li example@example.com", false},
      {std::string(38, 'a') + "@example.com", false},  // 50 characters
      {std::string(37, 'a') + "@example.com", true},   // 49
  };
  for (const auto& [email, valid] : emails)
    EXPECT_EQ(SelvoUtils::IsValidEmail(email), valid) << email;

  EXPECT_TRUE(SelvoUtils::IsValidMobliePhoneNumber("13800138000"));
  EXPECT_FALSE(SelvoUtils::IsValidMobliePhoneNumber("1380013800"));
  EXPECT_FALSE(SelvoUtils::IsValidMobliePhoneNumber("138001380001"));
  EXPECT_FALSE(SelvoUtils::IsValidMobliePhoneNumber("23800138000"));
  EXPECT_TRUE(SelvoUtils::IsSamePassword("a", "a"));
  EXPECT_FALSE(SelvoUtils::IsSamePassword("a", "b"));
}

TEST(SelvoUtilsTest, TextsOfSizesIdsAndOrientations) {
  const std::pair<uint64_t, const char*> sizes[] = {
      {999, "0K"},         {999999, "999K"},   {1000000, "1M"},   {1500000, "1M"},
      {999999999, "999M"}, {1000000000, "1G"}, {2500000000, "2G"}};
  for (const auto& [bytes, text] : sizes)
    EXPECT_EQ(SelvoUtils::FileSizeConvertToString(bytes), text);
  EXPECT_EQ(SelvoUtils::HexText("12"), "3132");
  EXPECT_EQ(SelvoUtils::HexText(""), "");
  EXPECT_EQ(SelvoUtils::HexText(std::string(300, 'a')).size(), 510u);
  EXPECT_EQ(SelvoUtils::ParseVideoID("http://play.selvo.test/hls/5123/index.m3u8"), "5123");
  EXPECT_EQ(SelvoUtils::ParseVideoID("5123/index.m3u8"), std::nullopt);
  EXPECT_EQ(SelvoUtils::ParseVideoID("/index.m3u8"), std::nullopt);
  EXPECT_EQ(SelvoUtils::ParseVideoID("a//b"), "");
  EXPECT_EQ(SelvoUtils::Orientation(DeviceOrientation::kPortrait, false), "90");
  EXPECT_EQ(SelvoUtils::Orientation(DeviceOrientation::kFaceDown, true), "90");
  EXPECT_EQ(SelvoUtils::Orientation(DeviceOrientation::kLandscapeLeft, true), "0");
  EXPECT_EQ(SelvoUtils::Orientation(DeviceOrientation::kLandscapeRight, false), "180");
  EXPECT_TRUE(SelvoUtils::ContainString({"a", "b"}, "b"));
  EXPECT_FALSE(SelvoUtils::ContainString({"a", "b"}, "c"));
}

TEST(SelvoUtilsTest, NetworkNameFollowsReachability) {
  platform::FakePlatform fake;
  EXPECT_EQ(SelvoUtils::NetworkName(), "WiFi");
  fake.reachability.wifi = 0;
  EXPECT_EQ(SelvoUtils::NetworkName(), "3G/GPRS");
  fake.reachability.internet =
      platform::kReachabilityReachable | platform::kReachabilityConnectionRequired;
  EXPECT_EQ(SelvoUtils::NetworkName(), "Not Connect NetWork");
  fake.reachability.internet = std::nullopt;  // unreadable
  EXPECT_FALSE(SelvoUtils::IsConnectedToNetwork());
}

TEST(SelvoUtilsTest, LocalTimeTexts) {
  platform::FakePlatform fake;  // 2026-01-01 00:00:00 UTC
  const char* saved = std::getenv("TZ");
  std::string saved_tz = saved ? saved : "";
  ::setenv("TZ", "Asia/Shanghai", 1);
  ::tzset();
  EXPECT_EQ(SelvoUtils::YyyyMMddHHmmssLocalTime(), "2026-01-01 08:00:00");
  EXPECT_EQ(SelvoUtils::YyyyMMddHHmmssToSecondsSince1970("2026-01-01 08:00:00"), 1767225600.0);
  EXPECT_TRUE(SelvoUtils::IsTimeFormatVideoTitle("2013-05-04 10:20:30"));
  EXPECT_FALSE(SelvoUtils::IsTimeFormatVideoTitle("Live at the lake"));
  EXPECT_FALSE(SelvoUtils::IsTimeFormatVideoTitle("2013-04-31 10:20:30"));
  EXPECT_FALSE(SelvoUtils::IsTimeFormatVideoTitle("2013-05-04 10:20:30x"));
  if (saved) {
    ::setenv("TZ", saved_tz.c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
  ::tzset();
}

class DeleteUploadFinishedFileTest : public ::testing::Test {
 protected:
  DeleteUploadFinishedFileTest() {
    platform::Value login;
    login.Set("_id", "1")
        .Set("login_meta", platform::Value(platform::Value::Dictionary{{"token", "T"}}));
    LoginUserInfoPreferences::SaveLoginUser(login);
    tmp_ = SelvoUtils::TmpDirectory();  // ends with "/"
    for (const char* name :
         {"31_130504A.mov", "31_130504V.mov", "31_130504V.mov.jpg", "31_130505A.mov",
          "31_130505V.mov", "31_130506V.mov", "31_list.txt", "3132_130504A.mov", "3132_130504V.mov",
          "31x.mov", "sample_audio.mov", "sample_video.mov"}) {
      Write(name);
    }
  }
  ~DeleteUploadFinishedFileTest() override { SelvoUtils::SetSeams({}); }
  void Write(const std::string& name) {
    ASSERT_TRUE(platform::DefaultFileSystem().WriteFileAtomically(tmp_ + name, "data"));
  }
  bool Exists(const std::string& name) { return platform::DefaultFileSystem().Exists(tmp_ + name); }

  platform::FakePlatform fake_;
  std::string tmp_;
};

TEST_F(DeleteUploadFinishedFileTest, DeletesOnlyThisUsersFinishedRecordings) {
  EXPECT_EQ(SelvoUtils::DeleteUploadFinishedFile(), 0);  // no task list yet: nothing goes
  EXPECT_TRUE(Exists("31_130504A.mov"));

  SelvoUtilsSeams seams;
  // The engine names its files with a single slash; the walk builds "//".
  seams.queued_task_files = [this] {
    const std::string dir = tmp_.substr(0, tmp_.size() - 1);
    return std::vector<std::string>{dir + "/31_130505A.mov", dir + "/./31_130505V.mov",
                                    dir + "/31_130505V.mov.jpg"};
  };
  seams.is_file_combining = [](const std::string& path) {
    return path.find("31_130506V.mov") != std::string::npos;
  };
  SelvoUtils::SetSeams(seams);
  EXPECT_EQ(SelvoUtils::DeleteUploadFinishedFile(), 3);
  for (const char* gone : {"31_130504A.mov", "31_130504V.mov", "31_130504V.mov.jpg"}) {
    EXPECT_FALSE(Exists(gone)) << gone;
  }
  for (const char* kept :
       {"31_130505A.mov", "31_130505V.mov", "31_130506V.mov", "31_list.txt", "3132_130504A.mov",
        "3132_130504V.mov", "31x.mov", "sample_audio.mov", "sample_video.mov"}) {
    EXPECT_TRUE(Exists(kept)) << kept;
  }
}

TEST_F(DeleteUploadFinishedFileTest, SampleFilesTheEngineRejectsAreDeleted) {
  EXPECT_TRUE(SelvoUtils::HasSampleVideoAndAudioFile());  // no checks installed: existence
  SelvoUtilsSeams seams;
  seams.check_audio_sample_file = [](const std::string&) { return true; };
  seams.check_media_sample_files = [](int fps, const std::string&, const std::string&) {
    return fps != 10;
  };
  SelvoUtils::SetSeams(seams);
  EXPECT_TRUE(SelvoUtils::HasSampleAudioFile());
  EXPECT_FALSE(SelvoUtils::HasSampleVideoAndAudioFile());
  EXPECT_FALSE(Exists("sample_audio.mov"));
  EXPECT_FALSE(Exists("sample_video.mov"));
  EXPECT_FALSE(SelvoUtils::HasSampleAudioFile());
  EXPECT_EQ(SelvoUtils::FileSize(tmp_ + "31x.mov"), 4u);
  EXPECT_EQ(SelvoUtils::FileSize(tmp_ + "missing"), 0u);
  EXPECT_EQ(SelvoUtils::FirstFrameImagePath(), tmp_ + "/31_firstFrame_weibo.jpg");
}

TEST(SelvoUtilsTest, ShareableGuestsOfAPrivateBroadcast) {
  platform::FakePlatform fake;
  SelvoUtilsSeams seams;
  seams.guest_contacts = [](const std::string&) {
    return *platform::ParseJson(R"([
      {"provider":"weibo","identity":"w1","screen_name":"Wei"},
      {"provider":"renren","identity":"r1"},
      {"provider":"mobile","identity":"138","screen_name":"Mo"}])")
                ->array();
  };
  SelvoUtils::SetSeams(seams);
  platform::Value::Array weibo, renren;
  SelvoUtils::ParsecanShareGuestAcl({"12", "weibo#w1", "renren#r1", "mobile#138", "weibo#zz"},
                                    weibo, renren);
  ASSERT_EQ(weibo.size(), 1u);
  EXPECT_EQ(weibo[0]["screen_name"].AsString(), "Wei");
  ASSERT_EQ(renren.size(), 1u);
  EXPECT_FALSE(renren[0].Contains("screen_name"));
  SelvoUtils::SetSeams({});
}

}  // namespace
}  // namespace shell
