#include "shell/update_user_info.h"

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "platform/json.h"
#include "platform/preferences.h"
#include "platform/testing/fake_platform.h"
#include "service/account_api_client.h"
#include "service/message_api_client.h"
#include "service/testing/fake_client_environment.h"
#include "shell/login_user_info_preferences.h"
#include "shell/selvo_utils.h"
#include "shell/user_preferences.h"

namespace shell {
namespace {

using platform::Value;

class UpdateUserInfoTest : public ::testing::Test, public UpdateUserInfoDelegate {
 protected:
  UpdateUserInfoTest() { fake_.environment.version = "2.0"; }

  void UpdateUserInfoResult(int result, const std::optional<std::string>& provider) override {
    results_.emplace_back(result, provider.value_or("-"));
  }
  void Set(const char* key, Value value) { platform::StandardPreferences().Set(key, value); }
  void Answer(size_t i, const std::string& json, int status = 200) {
    ASSERT_TRUE(fake_.http.Respond(i, platform::JsonResponse(status, json)));
    fake_.dispatcher.RunUntilIdle();
  }

  platform::FakePlatform fake_;
  service::FakeClientEnvironment env_;
  std::vector<std::pair<int, std::string>> results_;
};

TEST_F(UpdateUserInfoTest, CurrentOrUnknownVersionsRunNoStep) {
  Value login;
  login.Set("_id", 12).Set("login_meta", Value(Value::Dictionary{{"token", "T"}}));
  LoginUserInfoPreferences::SaveLoginUser(login);
  UserPreferences::SaveVersion("2.0", "12");
  EXPECT_FALSE(UpdateUserInfo::IsOldVersion());
  UserPreferences::SaveVersion("0.9", "12");
  EXPECT_TRUE(UpdateUserInfo::IsOldVersion());
  UpdateUserInfo update(this);
  update.Update();
  fake_.dispatcher.AdvanceBy(std::chrono::seconds(5));
  EXPECT_TRUE(update.steps_run().empty());
  EXPECT_TRUE(results_.empty());
}

TEST_F(UpdateUserInfoTest, StateThatTurnsOutCurrentRestoresTheLoginAfterASecond) {
  Value login;
  login.Set("_id", 12).Set("login_meta", Value(Value::Dictionary{{"token", "T"}}));
  LoginUserInfoPreferences::SaveLoginUser(login);
  UserPreferences::SaveVersion("2.0", "12");
  UpdateUserInfo update(this);
  update.Update();
  EXPECT_EQ(update.steps_run(), std::vector<std::string>{"updateProcessing"});
  EXPECT_EQ(service::MessageAPIClient::AuthorizationHeaderWithToken(), "T");
  fake_.dispatcher.AdvanceBy(std::chrono::milliseconds(999));
  EXPECT_TRUE(results_.empty());
  fake_.dispatcher.AdvanceBy(std::chrono::milliseconds(1));
  EXPECT_EQ(results_, (std::vector<std::pair<int, std::string>>{{4, "-"}}));
}

TEST_F(UpdateUserInfoTest, FreshInstallHasNothingToLogInWith) {
  UpdateUserInfo update(this);
  update.Update();
  EXPECT_EQ(update.old_version(), "1.0 or 1.0.1");
  EXPECT_EQ(update.steps_run().size(), 5u);
  EXPECT_EQ(results_, (std::vector<std::pair<int, std::string>>{{1, "-"}}));
}

TEST_F(UpdateUserInfoTest, LegacyEmailLoginSignsInAgainByEmail) {
  Set("email", "li@example.com");
  Set("password", "secret1");
  Set("li@example.com_version_", Value("1.1"));
  Set("li@example.com_isAllowPublishVideo", true);
  UserPreferences::SaveVersion("1.1", "li@example.com");
  std::vector<std::string> upgraded;
  platform::DefaultFileSystem().WriteFileAtomically(SelvoUtils::SampleAudioFile(), "x");
  UpdateUserInfoSeams seams;
  seams.upgrade_streaming_tasks = [&](const std::string& hex, const std::string& now,
                                      const std::string& old) {
    upgraded = {hex, now, old};
  };
  UpdateUserInfo update(this, seams);
  update.Update();
  EXPECT_EQ(update.old_version(), "1.1");
  EXPECT_EQ(update.steps_run().size(), 4u);
  ASSERT_EQ(fake_.http.size(), 1u);
  EXPECT_NE(fake_.http.request(0).body.find("identity=li%40example.com"), std::string::npos);
  for (const char* key : {"email", "password", "type", "li@example.com_version_",
                          "li@example.com_isAllowPublishVideo"}) {
    EXPECT_TRUE(platform::StandardPreferences().Get(key).is_null()) << key;
  }
  EXPECT_FALSE(UserPreferences::OldVersion("li@example.com"));
  Answer(0, R"({"_id":12,"promotion":false,"login_meta":{"token":"T2","login_provider":"email"}})");
  EXPECT_EQ(results_, (std::vector<std::pair<int, std::string>>{{3, "email"}}));
  EXPECT_EQ(LoginUserInfoPreferences::AccessToken(), "T2");
  EXPECT_EQ(upgraded, (std::vector<std::string>{"3132", "2.0", "1.1"}));
  EXPECT_FALSE(platform::DefaultFileSystem().Exists(SelvoUtils::SampleAudioFile()));
  EXPECT_FALSE(UpdateUserInfo::IsOldVersion());
}

TEST_F(UpdateUserInfoTest, LegacyQZoneLoginMovesTheRootRestoresAndSignsInAgain) {
  Set("type", 3);
  Set("selvoUserID", 12);
  UserPreferences::SaveVersion("1.2", "12");
  UserPreferences::SaveUserPreferenceKey("12_version_1.2", "QZonePreference", "QZoneAccessTokenKey",
                                         Value("qz-token"));
  UserPreferences::SaveUserPreferenceKey("12_version_1.2", "QZonePreference",
                                         "AllowAutoShareQZoneKey",
                                         Value("AllowAutoShareQZoneValue"));
  std::vector<std::string> log;
  UpdateUserInfoSeams seams;
  seams.restore_authenticated = [&](int n, const Value& token) {
    log.push_back("restore " + std::to_string(n) + " " + token.AsString());
  };
  seams.has_valid_authentication = [](int n) { return n == 1; };
  seams.get_user_info = [&](int n, std::function<void(const Value&)> done) {
    log.push_back("info " + std::to_string(n));
    done(*platform::ParseJson(R"({"provider":"qzone","identity":"QQ9","access_token":"a",
        "expired_time":"99","screen_name":"Li","avatar_url":"http://q/a.png"})"));
    return true;
  };
  UpdateUserInfo update(this, seams);
  update.Update();
  EXPECT_EQ(update.old_version(), "1.2");
  EXPECT_TRUE(UserPreferences::Object("12_version_1.2").is_null());
  EXPECT_TRUE(UserPreferences::Object("12_version_1.2.1").is_null());
  // Moved on to 2.0, with the network's token and user information gone.
  const Value root = UserPreferences::Object("12_version_2.0");
  EXPECT_EQ(root["QZonePreference"]["AllowAutoShareQZoneKey"].AsString(),
            "AllowAutoShareQZoneValue");
  EXPECT_TRUE(root["QZonePreference"]["QZoneAccessTokenKey"].is_null());
  EXPECT_EQ(log, (std::vector<std::string>{"restore 1 qz-token", "info 1"}));
  ASSERT_EQ(fake_.http.size(), 1u);
  EXPECT_NE(fake_.http.request(0).url.find("/api/auth/sns"), std::string::npos);
  Answer(0, R"({"_id":12,"login_meta":{"token":"T3","login_provider":"qzone"}})");
  EXPECT_EQ(results_, (std::vector<std::pair<int, std::string>>{{2, "qzone"}}));
}

TEST_F(UpdateUserInfoTest, FailedReloginReportsZero) {
  Set("email", "li@example.com");
  Set("password", "secret1");
  UserPreferences::SaveVersion("1.2.1", "li@example.com");
  Set("type", 1);
  UpdateUserInfo update(this);
  update.Update();
  Answer(0, R"({"code":403,"msg":"wrong password"})", 403);
  EXPECT_EQ(results_, (std::vector<std::pair<int, std::string>>{{0, "-"}}));
}

}  // namespace
}  // namespace shell
