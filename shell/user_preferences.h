// UserPreferences: the primitives every preference class is built on. Values
// live in the standard preference store at one, two or three levels (root key,
// group key, entry key); each write copies the levels above it, changes the
// copy, stores the root and synchronises at once. A write with a null value
// does nothing; a read of a missing level, or of a level that is not a
// dictionary, gives null.
//
// Per-user settings sit under the root key "<user id>_version_<application
// version>", so a new application version starts with empty per-user settings
// unless the upgrade (UpdateUserInfo) moves them; "selvoVersionKey" records, per
// user id, the version under which that user's settings were last saved.
#pragma once

#include <optional>
#include <string>

#include "platform/value.h"

namespace shell {

class UserPreferences {
 public:
  static void SaveUserPreferenceKey(const std::string& key, const platform::Value& value);
  static void RemoveUserPreferenceKey(const std::string& key);
  static platform::Value Object(const std::string& key);

  static void SaveUserPreferenceKey(const std::string& key, const std::string& child,
                                    const platform::Value& value);
  static void RemoveUserPreferenceKey(const std::string& key, const std::string& child);
  static platform::Value Object(const std::string& key, const std::string& child);

  static void SaveUserPreferenceKey(const std::string& key, const std::string& child,
                                    const std::string& grandson, const platform::Value& value);
  static void RemoveUserPreferenceKey(const std::string& key, const std::string& child,
                                      const std::string& grandson);
  static platform::Value Object(const std::string& key, const std::string& child,
                                const std::string& grandson);

  // "<user id>_version_<version>", with the current version or a given one.
  static std::string RootKeyAppendAppVersion(const std::string& user_id);
  static std::string RootKeyAppendAppVersion(const std::string& version,
                                             const std::string& user_id);
  // The application's version text.
  static std::string CurrentVersion();

  // The "selvoVersionKey" map of user id to version.
  static void SaveVersion(const std::string& version, const std::string& user_id);
  static void RemoveVersion(const std::string& user_id);
  static std::optional<std::string> OldVersion(const std::string& user_id);

  // Moves a user's whole per-user root from one version's key to another's.
  static void PortSNSUserPreferences(const std::string& from_version, const std::string& to_version,
                                     const std::string& user_id);

  static constexpr char kVersionKey[] = "selvoVersionKey";
};

}  // namespace shell
