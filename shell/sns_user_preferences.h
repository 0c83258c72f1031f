// Per-user settings of the three social networks, in the user's per-user root:
// automatic sharing, the network account's user information, the stored
// authorisation, and (Sina Weibo only) whether the user follows the service's
// official account.
#pragma once

#include <optional>
#include <string>

#include "platform/value.h"

namespace shell {

// The group and entry keys of one network.
struct SnsPreferenceKeys {
  const char* group;
  const char* allow_auto_share;
  const char* allow_auto_share_value;
  const char* user_info;
  const char* access_token;
};

class SnsUserPreferences {
 public:
  explicit constexpr SnsUserPreferences(SnsPreferenceKeys keys) : keys_(keys) {}

  bool IsAllowAutoShare(const std::string& user_id) const;
  // NO removes the entry.
  void SaveAutoShareSetting(bool allow, const std::string& user_id) const;
  // The account dictionary with "sns_screen_name" and "sns_user_ID"; null removes it.
  void SaveUserInfo(const platform::Value& info, const std::string& user_id) const;
  // Null when absent or not a dictionary.
  platform::Value UserInfo(const std::string& user_id) const;
  std::optional<std::string> ScreenName(const std::string& user_id) const;
  std::optional<std::string> ID(const std::string& user_id) const;
  void SaveAccessToken(const platform::Value& token, const std::string& user_id) const;
  platform::Value AccessToken(const std::string& user_id) const;
  void RemoveAccessToken(const std::string& user_id) const;
  void RemoveUserInfo(const std::string& user_id) const;

 private:
  SnsPreferenceKeys keys_;
};

class WeiboUserPreferences {
 public:
  static const SnsUserPreferences& Keys();
  static bool IsAllowAutoShareWeibo(const std::string& user_id) {
    return Keys().IsAllowAutoShare(user_id);
  }
  static void SaveAutoShareWeiboSetting(bool allow, const std::string& user_id) {
    Keys().SaveAutoShareSetting(allow, user_id);
  }
  // Whether the user follows the service's official Weibo account.
  static bool IsFollowTivora(const std::string& user_id);
  // Null removes the mark.
  static void SaveFollowTivora(const platform::Value& follow, const std::string& user_id);
};

class QZoneUserPreferences {
 public:
  static const SnsUserPreferences& Keys();
};

class RenrenUserPreferences {
 public:
  static const SnsUserPreferences& Keys();
};

}  // namespace shell
