#include "shell/selvo_global_preferences.h"

#include "platform/environment.h"
#include "platform/preferences.h"
#include "shell/user_preferences.h"

namespace shell {
namespace {

using platform::Value;

constexpr char kGroup[] = "GlobalPreference";

void Store(const char* key, Value value) {
  auto& store = platform::StandardPreferences();
  if (value.is_null()) {
    store.Remove(key);
  } else {
    store.Set(key, std::move(value));
  }
  store.Synchronize();
}

Value Get(const char* key) { return platform::StandardPreferences().Get(key); }

// Booleans stored as the boolean plus 1, so that 0 (absent) means "not set".
bool ShiftedBool(const Value& stored, bool fallback) {
  if (stored.is_null()) return fallback;
  return stored.AsInt() >= 2;
}

std::string Root(const std::string& user_id) {
  return UserPreferences::RootKeyAppendAppVersion(user_id);
}

Value UserValue(const char* entry, const std::string& user_id) {
  return UserPreferences::Object(Root(user_id), kGroup, entry);
}

void SaveUserValue(const char* entry, Value value, const std::string& user_id) {
  if (value.is_null()) {
    UserPreferences::RemoveUserPreferenceKey(Root(user_id), kGroup, entry);
  } else {
    UserPreferences::SaveUserPreferenceKey(Root(user_id), kGroup, entry, value);
  }
}

}  // namespace

void SelvoGlobalPreferences::SetApnToken(const std::string& token) {
  Store("ApnTokenValue", token);
}

std::optional<std::string> SelvoGlobalPreferences::ApnToken() {
  Value value = Get("ApnTokenValue");
  if (!value.is_string()) return std::nullopt;
  return value.AsString();
}

void SelvoGlobalPreferences::SetNeedUpdateContact(bool need) { Store("NeedUpdateContact", need); }
bool SelvoGlobalPreferences::NeedUpdateContact() { return Get("NeedUpdateContact").AsBool(false); }

void SelvoGlobalPreferences::SetNeedUpdateBlacklist(bool need) {
  Store("NeedUpdateBlacklist", need);
}
bool SelvoGlobalPreferences::NeedUpdateBlacklist() {
  return Get("NeedUpdateBlacklist").AsBool(false);
}

void SelvoGlobalPreferences::SetAutoLoginFromCurrentVersion(bool yes) {
  Store("AutoLoginFromCurrentVersion", yes);
}
bool SelvoGlobalPreferences::AutoLoginFromCurrentVersion() {
  return Get("AutoLoginFromCurrentVersion").AsBool(false);
}

void SelvoGlobalPreferences::SetReceiveRemoteMessage(bool yes) {
  Store("CanReceiveRemoteMessage", yes ? 2 : 1);
}
bool SelvoGlobalPreferences::CanReceiveRemoteMessage() {
  return ShiftedBool(Get("CanReceiveRemoteMessage"), true);
}

void SelvoGlobalPreferences::SavePromotion(bool yes) {
  Store("NeedShowPromotionContact", yes ? 2 : 1);
}
bool SelvoGlobalPreferences::IsPromotion() {
  return ShiftedBool(Get("NeedShowPromotionContact"), false);
}

void SelvoGlobalPreferences::SetAudioCommentFirst(bool yes) { Store("AudioCommentFirstKey", yes); }
bool SelvoGlobalPreferences::IsAudioCommentFirst() {
  return Get("AudioCommentFirstKey").AsBool(false);
}

std::string SelvoGlobalPreferences::SrandUUID() {
  const Value stored = Get("WebAppSrandUUID");
  if (stored.is_string() && !stored.AsString().empty()) return stored.AsString();
  const std::string uuid = platform::DefaultEnvironment().NewUuid();
  Store("WebAppSrandUUID", uuid);
  return uuid;
}

void SelvoGlobalPreferences::SaveSNSAccessToken(const Value& token) {
  Store("TmpLoginSNSAccessToken", token);
}
Value SelvoGlobalPreferences::SNSAccessToken() { return Get("TmpLoginSNSAccessToken"); }
void SelvoGlobalPreferences::SaveSNSUserInfo(const Value& info) {
  Store("TmpLoginSNSUserInfo", info);
}
Value SelvoGlobalPreferences::SNSUserInfo() { return Get("TmpLoginSNSUserInfo"); }

void SelvoGlobalPreferences::SaveSNSHeadUrl(const std::optional<std::string>& url) {
  Store("SNSHeadUrlForUserGalleryWebView", url ? Value(*url) : Value());
}
std::optional<std::string> SelvoGlobalPreferences::SNSHeadUrl() {
  const Value v = Get("SNSHeadUrlForUserGalleryWebView");
  if (!v.is_string()) return std::nullopt;
  return v.AsString();
}

bool SelvoGlobalPreferences::IsShowSelectPublishVideoType(const std::string& user_id) {
  return UserValue("ShowSelectPublishVideoTypeKey", user_id).AsBool(false);
}
void SelvoGlobalPreferences::SaveShowSelectPublishVideoType(bool yes, const std::string& user_id) {
  SaveUserValue("ShowSelectPublishVideoTypeKey", yes ? Value(true) : Value(), user_id);
}

bool SelvoGlobalPreferences::IsShowPublishAlertView(const std::string& user_id) {
  return UserValue("ShowPublicPrivateViewKey", user_id).AsBool(false);
}
void SelvoGlobalPreferences::SaveShowPublishAlertView(bool yes, const std::string& user_id) {
  SaveUserValue("ShowPublicPrivateViewKey", yes ? Value(true) : Value(), user_id);
}

bool SelvoGlobalPreferences::IsTivoraFirstTimeShow(const std::string& user_id) {
  return UserValue("isTivoraFirstTimeShow", user_id).AsBool(true);
}
void SelvoGlobalPreferences::SaveTivoraFirstTimeShow(bool yes, const std::string& user_id) {
  SaveUserValue("isTivoraFirstTimeShow", yes, user_id);
}

std::optional<int64_t> SelvoGlobalPreferences::MyVideoCount(const std::string& user_id) {
  const Value v = UserValue("MyVideoCountKey", user_id);
  if (!v.is_number()) return std::nullopt;
  return v.AsInt();
}
void SelvoGlobalPreferences::SaveMyVideoCount(int64_t count, const std::string& user_id) {
  SaveUserValue("MyVideoCountKey", count, user_id);
}

bool SelvoGlobalPreferences::IsFrontCameraPosition(const std::string& user_id) {
  return ShiftedBool(UserValue("FrontCameraPositionKey", user_id), false);
}
void SelvoGlobalPreferences::SaveCameraPosition(bool front, const std::string& user_id) {
  SaveUserValue("FrontCameraPositionKey", front ? 2 : 1, user_id);
}

bool SelvoGlobalPreferences::IsSelectConactFromAdddressBook(const std::string& user_id) {
  return ShiftedBool(UserValue("SelectContactFromAddressBookKey", user_id), false);
}
void SelvoGlobalPreferences::SaveSelectContactFromAddressBook(bool yes,
                                                              const std::string& user_id) {
  SaveUserValue("SelectContactFromAddressBookKey", yes ? 2 : 1, user_id);
}

bool SelvoGlobalPreferences::SaveVideoToLocationLibraryFlag(const std::string& user_id) {
  return UserValue("AllowSaveVideoToLocationLibraryKey", user_id).AsBool(false);
}
void SelvoGlobalPreferences::SetSaveVideoToLocationLibraryFlag(bool yes,
                                                               const std::string& user_id) {
  SaveUserValue("AllowSaveVideoToLocationLibraryKey", yes, user_id);
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
