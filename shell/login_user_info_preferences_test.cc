#include "shell/login_user_info_preferences.h"

#include <gtest/gtest.h>

#include "platform/testing/fake_platform.h"

namespace shell {
namespace {

TEST(LoginUserInfoPreferencesTest, RecordLifecycle) {
  platform::FakePlatform fake;
  EXPECT_EQ(LoginUserInfoPreferences::UserId(), "(null)");
  EXPECT_FALSE(LoginUserInfoPreferences::AccessToken());

  platform::Value meta;
  meta.Set("token", "abc").Set("screen_name", "Li").Set("login_provider", "email");
  meta.Set("login_identity", "li@example.com");
  platform::Value response;
  response.Set("_id", 12).Set("login_meta", meta).Set("profile", "ignored");
  LoginUserInfoPreferences::SaveLoginUser(response);
  EXPECT_EQ(LoginUserInfoPreferences::UserId(), "12");
  EXPECT_EQ(LoginUserInfoPreferences::AccessToken(), "abc");
  EXPECT_EQ(LoginUserInfoPreferences::HomeUrl(), LoginUserInfoPreferences::kDefaultHomeUrl);

  LoginUserInfoPreferences::SetScreenName("");  // ignored
  LoginUserInfoPreferences::SetAvatarUrl("http://a/b.png");
  EXPECT_EQ(LoginUserInfoPreferences::ScreenName(), "Li");
  EXPECT_EQ(LoginUserInfoPreferences::AvatarUrl(), "http://a/b.png");

  LoginUserInfoPreferences::RemoveLoginUser();
  EXPECT_FALSE(LoginUserInfoPreferences::AccessToken());
  EXPECT_EQ(LoginUserInfoPreferences::LoginProvider(), "email");
  EXPECT_EQ(LoginUserInfoPreferences::LoginIdentity(), "li@example.com");
  EXPECT_EQ(LoginUserInfoPreferences::UserId(), "(null)");

  LoginUserInfoPreferences::SaveLoginUser(platform::Value(platform::Value::Dictionary{}));
  EXPECT_EQ(LoginUserInfoPreferences::UserId(), "(null)");
  EXPECT_FALSE(LoginUserInfoPreferences::LoginProvider());
}

}  // namespace
}  // namespace shell
