#include <gtest/gtest.h>

#include "platform/json.h"
#include "platform/testing/fake_platform.h"
#include "shell/account_preferences.h"
#include "shell/login_user_info_preferences.h"
#include "shell/selvo_global_preferences.h"
#include "shell/selvo_utils.h"
#include "shell/session.h"
#include "shell/sns_user_preferences.h"
#include "shell/user_preferences.h"

namespace shell {
namespace {

using platform::Value;
using G = SelvoGlobalPreferences;

TEST(PreferencesTest, DefaultsUntilSetAndEachWriteSynchronised) {
  platform::FakePlatform fake;
  EXPECT_TRUE(G::CanReceiveRemoteMessage());
  EXPECT_FALSE(G::IsPromotion());
  EXPECT_FALSE(G::IsFrontCameraPosition("12"));
  EXPECT_TRUE(G::IsTivoraFirstTimeShow("12"));
  EXPECT_EQ(G::TimelineListCount(), 50);
  EXPECT_EQ(G::ContactListMaxCount(), 150);
  EXPECT_FALSE(G::MyVideoCount("12"));

  const int before = fake.preferences.synchronizations;
  G::SetReceiveRemoteMessage(false);
  EXPECT_FALSE(G::CanReceiveRemoteMessage());
  G::SetReceiveRemoteMessage(true);
  EXPECT_TRUE(G::CanReceiveRemoteMessage());
  EXPECT_EQ(fake.preferences.Get("CanReceiveRemoteMessage").AsInt(), 2);
  G::SavePromotion(true);
  G::SaveCameraPosition(true, "12");
  G::SetTimelineListCount(20);
  G::SetContactListMaxCount(300);
  G::SaveTivoraFirstTimeShow(false, "12");
  G::SaveMyVideoCount(7, "12");
  EXPECT_EQ(fake.preferences.synchronizations - before, 8);
  EXPECT_TRUE(G::IsPromotion());
  EXPECT_TRUE(G::IsFrontCameraPosition("12"));
  EXPECT_FALSE(G::IsFrontCameraPosition("13"));
  EXPECT_EQ(G::TimelineListCount(), 20);
  EXPECT_EQ(G::ContactListMaxCount(), 300);
  EXPECT_FALSE(G::IsTivoraFirstTimeShow("12"));
  EXPECT_EQ(G::MyVideoCount("12"), 7);

  G::SaveShowPublishAlertView(true, "12");
  EXPECT_TRUE(G::IsShowPublishAlertView("12"));
  G::SaveShowPublishAlertView(false, "12");  // NO removes the entry
  EXPECT_TRUE(UserPreferences::Object(UserPreferences::RootKeyAppendAppVersion("12"),
                                      "GlobalPreference", "ShowPublicPrivateViewKey")
                  .is_null());

  const std::string uuid = G::SrandUUID();
  EXPECT_EQ(uuid.size(), 36u);
  EXPECT_EQ(G::SrandUUID(), uuid);
}

TEST(PreferencesTest, LevelsVersionsAndMoves) {
  platform::FakePlatform fake;
  fake.environment.version = "2.0";
  UserPreferences::SaveUserPreferenceKey("root", "group", "entry", Value("v"));
  UserPreferences::SaveUserPreferenceKey("root", "group", "", Value("ignored"));
  UserPreferences::SaveUserPreferenceKey("root", "group", "other", Value());  // no value: nothing
  EXPECT_EQ(UserPreferences::Object("root", "group", "entry").AsString(), "v");
  EXPECT_EQ(UserPreferences::Object("root", "group").size(), 1u);
  EXPECT_TRUE(UserPreferences::Object("root", "missing", "entry").is_null());
  UserPreferences::SaveUserPreferenceKey("flat", Value(3));
  EXPECT_TRUE(UserPreferences::Object("flat", "group", "entry").is_null());  // not a dictionary

  WeiboUserPreferences::SaveAutoShareWeiboSetting(true, "12");
  WeiboUserPreferences::Keys().SaveUserInfo(Value("not a dictionary"), "12");
  EXPECT_TRUE(WeiboUserPreferences::Keys().UserInfo("12").is_null());
  EXPECT_EQ(UserPreferences::RootKeyAppendAppVersion("12"), "12_version_2.0");
  fake.environment.version = "2.1";
  EXPECT_FALSE(WeiboUserPreferences::IsAllowAutoShareWeibo("12"));  // a new version starts empty
  UserPreferences::PortSNSUserPreferences("2.0", "2.1", "12");
  EXPECT_TRUE(WeiboUserPreferences::IsAllowAutoShareWeibo("12"));
  EXPECT_TRUE(UserPreferences::Object("12_version_2.0").is_null());

  UserPreferences::SaveVersion("2.1", "12");
  EXPECT_EQ(UserPreferences::OldVersion("12"), "2.1");
  UserPreferences::RemoveVersion("12");
  EXPECT_FALSE(UserPreferences::OldVersion("12"));
}

TEST(PreferencesTest, StoringALoginKeepsBindingsAndProfile) {
  platform::FakePlatform fake;
  std::vector<std::pair<int, std::string>> sns;
  SelvoUtilsSeams seams;
  seams.store_sns_binding = [&](int type, const Value& b) {
    sns.emplace_back(type, b["identity"].AsString());
  };
  SelvoUtils::SetSeams(seams);
  auto response = [](const char* profile) {
    Value r;
    r.Set("_id", 12).Set("promotion", true);
    Value meta;
    meta.Set("token", "T").Set("screen_name", "Li").Set("avatar_url", "http://a/li.png");
    meta.Set("login_provider", "email").Set("login_identity", "li@example.com");
    r.Set("login_meta", meta);
    Value bindings(Value::Array{});
    for (const char* p : {"email", "weibo", "renren", "unknown"}) {
      Value b;
      b.Set("provider", p).Set("identity", std::string(p) + "-id").Set("screen_name", "Li");
      bindings.Append(b);
    }
    r.Set("bindings", bindings);
    if (profile) r.Set("profile", *platform::ParseJson(profile));
    return r;
  };
  StoreLogin(response(R"({"gender":"F"})"));
  EXPECT_TRUE(G::IsPromotion());
  EXPECT_EQ(LoginUserInfoPreferences::UserId(), "12");
  EXPECT_EQ(EmailUserInfoPreferences::BindEmailAddress("12"), "email-id");
  EXPECT_FALSE(MobileUserInfoPreferences::BindMobileNumber("12"));
  EXPECT_EQ(sns, (std::vector<std::pair<int, std::string>>{{0, "weibo-id"}, {2, "renren-id"}}));
  EXPECT_EQ(ProfileUserInfoPreferences::Field("gender", "12"), "F");
  EXPECT_EQ(ProfileUserInfoPreferences::Field("screen_name", "12"), "Li");
  EXPECT_EQ(ProfileUserInfoPreferences::Field("avatar_url", "12"), "http://a/li.png");
  EXPECT_EQ(UserPreferences::OldVersion("12"), UserPreferences::CurrentVersion());

  StoreLogin(response(R"({"screen_name":"Own","avatar_url":"http://a/own.png"})"));
  EXPECT_EQ(ProfileUserInfoPreferences::Field("screen_name", "12"), "Own");
  ProfileUserInfoPreferences::SetAvatarUrl("http://a/new.png", "12");
  EXPECT_EQ(ProfileUserInfoPreferences::Field("avatar_url", "12"), "http://a/new.png");
  EXPECT_EQ(LoginUserInfoPreferences::AvatarUrl(), "http://a/new.png");

  LogOutLocally();
  EXPECT_FALSE(LoginUserInfoPreferences::AccessToken());
  EXPECT_EQ(LoginUserInfoPreferences::LoginProvider(), "email");
  EXPECT_FALSE(ProfileUserInfoPreferences::HasProfile("12"));
  EXPECT_FALSE(EmailUserInfoPreferences::BindEmailAddress("12"));
  EXPECT_TRUE(G::NeedUpdateContact());
  SelvoUtils::SetSeams({});
}

}  // namespace
}  // namespace shell
