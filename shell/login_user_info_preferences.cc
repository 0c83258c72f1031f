#include "shell/login_user_info_preferences.h"

#include "platform/preferences.h"

namespace shell {
namespace {

using platform::Value;

Value Record() { return platform::StandardPreferences().Get(LoginUserInfoPreferences::kKey); }

void Store(Value record) {
  auto& store = platform::StandardPreferences();
  store.Set(LoginUserInfoPreferences::kKey, std::move(record));
  store.Synchronize();
}

std::optional<std::string> MetaText(const char* key) {
  const Value value = Record()["login_meta"][key];
  if (value.is_null()) return std::nullopt;
  return value.AsString();
}

void SetMetaText(const char* key, const std::string& text) {
  if (text.empty()) return;
  Value record = Record();
  Value meta = record["login_meta"];
  meta.Set(key, text);
  record.Set("login_meta", std::move(meta));
  Store(std::move(record));
}

}  // namespace

void LoginUserInfoPreferences::SaveLoginUser(const Value& response) {
  Value record(Value::Dictionary{});
  if (response.Contains("_id")) {
    record.Set("_id", response["_id"]);
    record.Set("login_meta", response["login_meta"]);
  }
  Store(std::move(record));
}

void LoginUserInfoPreferences::RemoveLoginUser() {
  const Value old_meta = Record()["login_meta"];
  Value meta(Value::Dictionary{});
  if (old_meta.Contains("login_identity")) meta.Set("login_identity", old_meta["login_identity"]);
  if (old_meta.Contains("login_provider")) meta.Set("login_provider", old_meta["login_provider"]);
  Value record(Value::Dictionary{});
  record.Set("login_meta", std::move(meta));
  Store(std::move(record));
}

std::string LoginUserInfoPreferences::UserId() {
  const Value id = Record()["_id"];
  return id.is_null() ? "(null)" : id.AsString("(null)");
}

std::optional<std::string> LoginUserInfoPreferences::AccessToken() { return MetaText("token"); }
std::optional<std::string> LoginUserInfoPreferences::ScreenName() {
  return MetaText("screen_name");
}
std::optional<std::string> LoginUserInfoPreferences::AvatarUrl() { return MetaText("avatar_url"); }
std::optional<std::string> LoginUserInfoPreferences::LoginProvider() {
  return MetaText("login_provider");
}
std::optional<std::string> LoginUserInfoPreferences::LoginIdentity() {
  return MetaText("login_identity");
}

std::string LoginUserInfoPreferences::HomeUrl() {
  return MetaText("home_url").value_or(kDefaultHomeUrl);
}

void LoginUserInfoPreferences::SetScreenName(const std::string& name) {
  SetMetaText("screen_name", name);
}

void LoginUserInfoPreferences::SetAvatarUrl(const std::string& url) {
  SetMetaText("avatar_url", url);
}

}  // namespace shell
