// Per-user copies of the e-mail and mobile bindings and of the profile from
// the login response, in the user's per-user root.
#pragma once

#include <optional>
#include <string>

#include "platform/value.h"

namespace shell {

// The e-mail or the mobile binding dictionary ("identity", "screen_name",
// "avatar_url", ...).
class BindingPreferences {
 public:
  constexpr BindingPreferences(const char* group, const char* entry)
      : group_(group), entry_(entry) {}
  // Null removes it.
  void SaveUserInfo(const platform::Value& info, const std::string& user_id) const;
  void RemoveUserInfo(const std::string& user_id) const;
  platform::Value UserInfo(const std::string& user_id) const;
  std::optional<std::string> Identity(const std::string& user_id) const;
  std::optional<std::string> ScreenName(const std::string& user_id) const;
  std::optional<std::string> AvatarUrl(const std::string& user_id) const;

 private:
  const char* group_;
  const char* entry_;
};

class EmailUserInfoPreferences {
 public:
  static const BindingPreferences& Keys();
  static std::optional<std::string> BindEmailAddress(const std::string& user_id) {
    return Keys().Identity(user_id);
  }
};

class MobileUserInfoPreferences {
 public:
  static const BindingPreferences& Keys();
  static std::optional<std::string> BindMobileNumber(const std::string& user_id) {
    return Keys().Identity(user_id);
  }
};

class ProfileUserInfoPreferences {
 public:
  static bool HasProfile(const std::string& user_id);
  // Null removes it.
  static void SaveProfile(const platform::Value& profile, const std::string& user_id);
  static void RemoveProfile(const std::string& user_id);
  static platform::Value Profile(const std::string& user_id);
  // One profile field ("first_name", "last_name", "screen_name", "domain_name",
  // "avatar_url", "background_url", "gender", "birthday", "location",
  // "introduction").
  static std::optional<std::string> Field(const std::string& field, const std::string& user_id);
  // A non-empty URL goes into the profile and into the login record.
  static void SetAvatarUrl(const std::string& url, const std::string& user_id);
};

}  // namespace shell
