#include "capture/capture_preferences.h"

#include "platform/environment.h"
#include "platform/preferences.h"

namespace capture {
namespace {

using platform::Value;

Value Entry(const std::string& user_id, const char* key) {
  return platform::StandardPreferences().Get(
      CapturePreferences::RootKey(user_id))[CapturePreferences::kGroup][key];
}

void SetEntry(const std::string& user_id, const char* key, Value value) {
  auto& store = platform::StandardPreferences();
  const std::string root_key = CapturePreferences::RootKey(user_id);
  Value root = store.Get(root_key);
  if (!root.is_dictionary()) root = Value(Value::Dictionary{});
  Value group = root[CapturePreferences::kGroup];
  if (!group.is_dictionary()) group = Value(Value::Dictionary{});
  group.Set(key, std::move(value));
  root.Set(CapturePreferences::kGroup, std::move(group));
  store.Set(root_key, std::move(root));
  store.Synchronize();
}

}  // namespace

std::string CapturePreferences::RootKey(const std::string& user_id) {
  return user_id + "_version_" + platform::DefaultEnvironment().ApplicationVersion();
}

bool CapturePreferences::IsFrontCameraPosition(const std::string& user_id) {
  return Entry(user_id, kFrontCameraPositionKey).AsInt(0) >= 2;
}

void CapturePreferences::SaveCameraPosition(bool front, const std::string& user_id) {
  SetEntry(user_id, kFrontCameraPositionKey, Value(front ? 2 : 1));
}

bool CapturePreferences::SaveVideoToLocationLibraryFlag(const std::string& user_id) {
  return Entry(user_id, kSaveToLibraryKey).AsBool(false);
}

void CapturePreferences::SetSaveVideoToLocationLibraryFlag(bool flag, const std::string& user_id) {
  SetEntry(user_id, kSaveToLibraryKey, Value(flag));
}

}  // namespace capture
