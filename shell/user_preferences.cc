#include "shell/user_preferences.h"

#include "platform/environment.h"
#include "platform/preferences.h"

namespace shell {
namespace {

using platform::Value;

platform::PreferenceStore& Store() { return platform::StandardPreferences(); }

void StoreRoot(const std::string& key, Value value) {
  Store().Set(key, std::move(value));
  Store().Synchronize();
}

// A level as a dictionary to modify: the stored one, or an empty one.
Value Level(const Value& value) {
  return value.is_dictionary() ? value : Value(Value::Dictionary{});
}

}  // namespace

void UserPreferences::SaveUserPreferenceKey(const std::string& key, const Value& value) {
  if (key.empty() || value.is_null()) return;
  StoreRoot(key, value);
}

void UserPreferences::RemoveUserPreferenceKey(const std::string& key) {
  Store().Remove(key);
  Store().Synchronize();
}

Value UserPreferences::Object(const std::string& key) { return Store().Get(key); }

void UserPreferences::SaveUserPreferenceKey(const std::string& key, const std::string& child,
                                            const Value& value) {
  if (key.empty() || child.empty() || value.is_null()) return;
  Value root = Level(Store().Get(key));
  root.Set(child, value);
  StoreRoot(key, std::move(root));
}

void UserPreferences::RemoveUserPreferenceKey(const std::string& key, const std::string& child) {
  Value root = Level(Store().Get(key));
  root.Erase(child);
  StoreRoot(key, std::move(root));
}

Value UserPreferences::Object(const std::string& key, const std::string& child) {
  return Store().Get(key)[child];
}

void UserPreferences::SaveUserPreferenceKey(const std::string& key, const std::string& child,
                                            const std::string& grandson, const Value& value) {
  if (key.empty() || child.empty() || grandson.empty() || value.is_null()) return;
  Value root = Level(Store().Get(key));
  Value group = Level(root[child]);
  group.Set(grandson, value);
  root.Set(child, std::move(group));
  StoreRoot(key, std::move(root));
}

void UserPreferences::RemoveUserPreferenceKey(const std::string& key, const std::string& child,
                                              const std::string& grandson) {
  Value root = Level(Store().Get(key));
  Value group = Level(root[child]);
  group.Erase(grandson);
  root.Set(child, std::move(group));
  StoreRoot(key, std::move(root));
}

Value UserPreferences::Object(const std::string& key, const std::string& child,
                              const std::string& grandson) {
  return Store().Get(key)[child][grandson];
}

std::string UserPreferences::RootKeyAppendAppVersion(const std::string& user_id) {
  return RootKeyAppendAppVersion(CurrentVersion(), user_id);
}

std::string UserPreferences::RootKeyAppendAppVersion(const std::string& version,
                                                     const std::string& user_id) {
  return user_id + "_version_" + version;
}

std::string UserPreferences::CurrentVersion() {
  return platform::DefaultEnvironment().ApplicationVersion();
}

void UserPreferences::SaveVersion(const std::string& version, const std::string& user_id) {
  SaveUserPreferenceKey(kVersionKey, user_id, Value(version));
}

void UserPreferences::RemoveVersion(const std::string& user_id) {
  RemoveUserPreferenceKey(kVersionKey, user_id);
}

std::optional<std::string> UserPreferences::OldVersion(const std::string& user_id) {
  const Value version = Object(kVersionKey, user_id);
  if (!version.is_string()) return std::nullopt;
  return version.AsString();
}

void UserPreferences::PortSNSUserPreferences(const std::string& from_version,
                                             const std::string& to_version,
                                             const std::string& user_id) {
  const std::string from = RootKeyAppendAppVersion(from_version, user_id);
  const Value root = Object(from);
  RemoveUserPreferenceKey(from);
  SaveUserPreferenceKey(RootKeyAppendAppVersion(to_version, user_id), root);
}

}  // namespace shell
