#include "shell/selvo_global_preferences.h"

#include "platform/preferences.h"

namespace shell {
namespace {

void Store(const char* key, platform::Value value) {
  auto& store = platform::StandardPreferences();
  store.Set(key, std::move(value));
  store.Synchronize();
}

}  // namespace

void SelvoGlobalPreferences::SetApnToken(const std::string& token) { Store("ApnTokenValue", token); }

std::optional<std::string> SelvoGlobalPreferences::ApnToken() {
  platform::Value value = platform::StandardPreferences().Get("ApnTokenValue");
  if (!value.is_string()) return std::nullopt;
  return value.AsString();
}

void SelvoGlobalPreferences::SetNeedUpdateContact(bool need) { Store("NeedUpdateContact", need); }
bool SelvoGlobalPreferences::NeedUpdateContact() {
  return platform::StandardPreferences().Get("NeedUpdateContact").AsBool(false);
}

void SelvoGlobalPreferences::SetNeedUpdateBlacklist(bool need) { Store("NeedUpdateBlacklist", need); }
bool SelvoGlobalPreferences::NeedUpdateBlacklist() {
  return platform::StandardPreferences().Get("NeedUpdateBlacklist").AsBool(false);
}

void SelvoGlobalPreferences::SetTimelineListCount(int count) {
  if (count > 0) Store("TimelineListCount", count);
}

int SelvoGlobalPreferences::TimelineListCount() {
  const int64_t count = platform::StandardPreferences().Get("TimelineListCount").AsInt(0);
  return count > 0 && count <= 100000 ? static_cast<int>(count) : 50;
}

void SelvoGlobalPreferences::SetContactListMaxCount(int count) {
  if (count > 0) Store("ContactListMaxCount", count);
}

int SelvoGlobalPreferences::ContactListMaxCount() {
  const int64_t count = platform::StandardPreferences().Get("ContactListMaxCount").AsInt(0);
  return count > 0 && count <= 1000000 ? static_cast<int>(count) : 150;
}

}  // namespace shell
