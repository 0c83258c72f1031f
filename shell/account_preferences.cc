#include "shell/account_preferences.h"

#include "shell/login_user_info_preferences.h"
#include "shell/user_preferences.h"

namespace shell {
namespace {

using platform::Value;

constexpr char kProfileGroup[] = "ProfileUserInfoPreferenceKey";
constexpr char kProfileEntry[] = "ProfileKey";

std::string Root(const std::string& user_id) {
  return UserPreferences::RootKeyAppendAppVersion(user_id);
}

std::optional<std::string> Text(const Value& v) {
  if (v.is_null()) return std::nullopt;
  return v.AsString();
}

}  // namespace

void BindingPreferences::SaveUserInfo(const Value& info, const std::string& user_id) const {
  if (info.is_null()) return RemoveUserInfo(user_id);
  UserPreferences::SaveUserPreferenceKey(Root(user_id), group_, entry_, info);
}

void BindingPreferences::RemoveUserInfo(const std::string& user_id) const {
  UserPreferences::RemoveUserPreferenceKey(Root(user_id), group_, entry_);
}

Value BindingPreferences::UserInfo(const std::string& user_id) const {
  return UserPreferences::Object(Root(user_id), group_, entry_);
}

std::optional<std::string> BindingPreferences::Identity(const std::string& user_id) const {
  return Text(UserInfo(user_id)["identity"]);
}

std::optional<std::string> BindingPreferences::ScreenName(const std::string& user_id) const {
  return Text(UserInfo(user_id)["screen_name"]);
}

std::optional<std::string> BindingPreferences::AvatarUrl(const std::string& user_id) const {
  return Text(UserInfo(user_id)["avatar_url"]);
}

const BindingPreferences& EmailUserInfoPreferences::Keys() {
  static constexpr BindingPreferences keys("EmailUserInfoPreferenceKey", "EmailKey");
  return keys;
}

const BindingPreferences& MobileUserInfoPreferences::Keys() {
  static constexpr BindingPreferences keys("MobileUserInfoPreferenceKey", "MobileKey");
  return keys;
}

bool ProfileUserInfoPreferences::HasProfile(const std::string& user_id) {
  return !Profile(user_id).is_null();
}

void ProfileUserInfoPreferences::SaveProfile(const Value& profile, const std::string& user_id) {
  if (profile.is_null()) return RemoveProfile(user_id);
  UserPreferences::SaveUserPreferenceKey(Root(user_id), kProfileGroup, kProfileEntry, profile);
}

void ProfileUserInfoPreferences::RemoveProfile(const std::string& user_id) {
  UserPreferences::RemoveUserPreferenceKey(Root(user_id), kProfileGroup, kProfileEntry);
}

Value ProfileUserInfoPreferences::Profile(const std::string& user_id) {
  return UserPreferences::Object(Root(user_id), kProfileGroup, kProfileEntry);
}

std::optional<std::string> ProfileUserInfoPreferences::Field(const std::string& field,
                                                             const std::string& user_id) {
  return Text(Profile(user_id)[field]);
}

void ProfileUserInfoPreferences::SetAvatarUrl(const std::string& url, const std::string& user_id) {
  if (url.empty()) return;
  Value profile = Profile(user_id);
  if (!profile.is_dictionary()) profile = Value(Value::Dictionary{});
  profile.Set("avatar_url", url);
  SaveProfile(profile, user_id);
  LoginUserInfoPreferences::SetAvatarUrl(url);
}

}  // namespace shell
