#include "shell/sns_user_preferences.h"

#include "shell/user_preferences.h"

namespace shell {
namespace {

using platform::Value;

std::string Root(const std::string& user_id) {
  return UserPreferences::RootKeyAppendAppVersion(user_id);
}

}  // namespace

bool SnsUserPreferences::IsAllowAutoShare(const std::string& user_id) const {
  return !UserPreferences::Object(Root(user_id), keys_.group, keys_.allow_auto_share).is_null();
}

void SnsUserPreferences::SaveAutoShareSetting(bool allow, const std::string& user_id) const {
  if (allow) {
    UserPreferences::SaveUserPreferenceKey(Root(user_id), keys_.group, keys_.allow_auto_share,
                                           Value(keys_.allow_auto_share_value));
  } else {
    UserPreferences::RemoveUserPreferenceKey(Root(user_id), keys_.group, keys_.allow_auto_share);
  }
}

void SnsUserPreferences::SaveUserInfo(const Value& info, const std::string& user_id) const {
  if (info.is_null()) {
    RemoveUserInfo(user_id);
    return;
  }
  UserPreferences::SaveUserPreferenceKey(Root(user_id), keys_.group, keys_.user_info, info);
}

void SnsUserPreferences::RemoveUserInfo(const std::string& user_id) const {
  UserPreferences::RemoveUserPreferenceKey(Root(user_id), keys_.group, keys_.user_info);
}

Value SnsUserPreferences::UserInfo(const std::string& user_id) const {
  Value info = UserPreferences::Object(Root(user_id), keys_.group, keys_.user_info);
  return info.is_dictionary() ? info : Value();
}

std::optional<std::string> SnsUserPreferences::ScreenName(const std::string& user_id) const {
  const Value v = UserInfo(user_id)["sns_screen_name"];
  if (v.is_null()) return std::nullopt;
  return v.AsString();
}

std::optional<std::string> SnsUserPreferences::ID(const std::string& user_id) const {
  const Value v = UserInfo(user_id)["sns_user_ID"];
  if (v.is_null()) return std::nullopt;
  return v.AsString();
}

void SnsUserPreferences::SaveAccessToken(const Value& token, const std::string& user_id) const {
  UserPreferences::SaveUserPreferenceKey(Root(user_id), keys_.group, keys_.access_token, token);
}

Value SnsUserPreferences::AccessToken(const std::string& user_id) const {
  return UserPreferences::Object(Root(user_id), keys_.group, keys_.access_token);
}

void SnsUserPreferences::RemoveAccessToken(const std::string& user_id) const {
  UserPreferences::RemoveUserPreferenceKey(Root(user_id), keys_.group, keys_.access_token);
}

const SnsUserPreferences& WeiboUserPreferences::Keys() {
  static constexpr SnsUserPreferences keys({"WeiboPreference", "AllowAutoShareWeiboKey",
                                            "AllowAutoShareWeiboValue", "SendWeiboUserInfoKey",
                                            "WeiboAccessTokenKey"});
  return keys;
}

bool WeiboUserPreferences::IsFollowTivora(const std::string& user_id) {
  return !UserPreferences::Object(Root(user_id), "WeiboPreference", "FollowTivoraKey").is_null();
}

void WeiboUserPreferences::SaveFollowTivora(const Value& follow, const std::string& user_id) {
  if (follow.is_null()) {
    UserPreferences::RemoveUserPreferenceKey(Root(user_id), "WeiboPreference", "FollowTivoraKey");
  } else {
    UserPreferences::SaveUserPreferenceKey(Root(user_id), "WeiboPreference", "FollowTivoraKey",
                                           follow);
  }
}

const SnsUserPreferences& QZoneUserPreferences::Keys() {
  static constexpr SnsUserPreferences keys({"QZonePreference", "AllowAutoShareQZoneKey",
                                            "AllowAutoShareQZoneValue", "SendQZoneUserInfoKey",
                                            "QZoneAccessTokenKey"});
  return keys;
}

const SnsUserPreferences& RenrenUserPreferences::Keys() {
  static constexpr SnsUserPreferences keys({"RenrenPreferenceKey", "AllowAutoShareRenrenKey",
                                            "AllowAutoShareRenrenValue", "SendRenrenUserInfoKey",
                                            "RenrenAccessTokenKey"});
  return keys;
}

}  // namespace shell
