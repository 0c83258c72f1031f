#include "shell/update_user_info.h"

#include <algorithm>
#include <chrono>

#include "platform/dispatch.h"
#include "platform/file_system.h"
#include "platform/log.h"
#include "platform/preferences.h"
#include "service/account_api_client.h"
#include "shell/login_user_info_preferences.h"
#include "shell/selvo_global_preferences.h"
#include "shell/selvo_utils.h"
#include "shell/session.h"
#include "shell/user_preferences.h"

namespace shell {
namespace {

using platform::Value;

constexpr char kFirstVersion[] = "1.0 or 1.0.1";
// The version the legacy steps carry the per-user root to.
constexpr char kLastLegacyVersion[] = "2.0";

std::optional<std::string> LegacyText(const char* key) {
  const Value v = UserPreferences::Object(key);
  if (v.is_null()) return std::nullopt;
  return v.AsString();
}

void ClearTemporarySnsKeys() {
  SelvoGlobalPreferences::SaveSNSAccessToken(Value());
  SelvoGlobalPreferences::SaveSNSUserInfo(Value());
}

}  // namespace

UpdateUserInfo::UpdateUserInfo(UpdateUserInfoDelegate* delegate, UpdateUserInfoSeams seams)
    : delegate_(delegate), seams_(std::move(seams)) {}

UpdateUserInfo::~UpdateUserInfo() { *alive_ = false; }

bool UpdateUserInfo::IsOldVersion() {
  auto version = UserPreferences::OldVersion(LoginUserInfoPreferences::UserId());
  return !version || *version != UserPreferences::CurrentVersion();
}

void UpdateUserInfo::Update() {
  std::optional<std::string> version =
      UserPreferences::OldVersion(LoginUserInfoPreferences::UserId());
  if (!version) {
    if (auto uid = LegacyText("selvoUserID")) version = UserPreferences::OldVersion(*uid);
    if (auto email = LegacyText("email")) {
      if (!version) {
        version = UserPreferences::OldVersion(*email);
        if (version) UserPreferences::RemoveVersion(*email);
      }
      UserPreferences::RemoveUserPreferenceKey(*email + "_isAllowPublishVideo");
    }
  }
  old_version_ = version.value_or(kFirstVersion);

  const std::vector<std::pair<std::string, std::function<void()>>> steps = {
      {kFirstVersion, [this] { Update_1_0_or_1_0_1_to_1_1(); }},
      {"1.1", [this] { Update_1_1_to_1_2(); }},
      {"1.2", [this] { Update_1_2_to_1_2_1(); }},
      {"1.2.1", [this] { Update_1_2_1_to_2_0(); }},
      {kLastLegacyVersion, [this] { UpdateProcessing(); }},
  };
  auto first = std::find_if(steps.begin(), steps.end(),
                            [this](const auto& step) { return step.first == old_version_; });
  if (first == steps.end()) {
    platform::Log("maybe miss some version update method");
    return;
  }
  for (auto step = first; step != steps.end(); ++step) step->second();
}

void UpdateUserInfo::Update_1_0_or_1_0_1_to_1_1() {
  steps_run_.push_back("update_1_0_or_1_0_1_to_1_1");
  platform::Log("update_1_0_or_1_0_1_to_1_1");
}

void UpdateUserInfo::Update_1_1_to_1_2() {
  steps_run_.push_back("update_1_1_to_1_2");
  platform::Log("update_1_1_to_1_2");
  auto email = LegacyText("email");
  auto password = LegacyText("password");
  if (email && password) {
    UserPreferences::SaveUserPreferenceKey("type", Value(1));
    UserPreferences::RemoveUserPreferenceKey(*email + "_version_");
  } else {
    UserPreferences::RemoveUserPreferenceKey("email");
    UserPreferences::RemoveUserPreferenceKey("password");
  }
}

void UpdateUserInfo::Update_1_2_to_1_2_1() {
  steps_run_.push_back("update_1_2_to_1_2_1");
  platform::Log("update_1_2_to_1_2_1");
  login_type_ = UserPreferences::Object("type").AsInt(0);
  auto uid = LegacyText("selvoUserID");
  if (login_type_ >= 2 && uid) UserPreferences::PortSNSUserPreferences("1.2", "1.2.1", *uid);
}

void UpdateUserInfo::Update_1_2_1_to_2_0() {
  steps_run_.push_back("update_1_2_1_to_2_0");
  platform::Log("update_1_2_1_to_2_0");
  login_type_ = UserPreferences::Object("type").AsInt(0);
  if (login_type_ == 1) {
    identity_ = LegacyText("email");
    password_ = LegacyText("password");
    if (identity_ && password_) provider_ = "email";
  } else if (login_type_ >= 2) {
    if (auto uid = LegacyText("selvoUserID")) {
      UserPreferences::PortSNSUserPreferences("1.2.1", kLastLegacyVersion, *uid);
    }
  }
}

void UpdateUserInfo::UpdateProcessing() {
  steps_run_.push_back("updateProcessing");
  platform::Log("updateProcessing");
  login_type_ = UserPreferences::Object("type").AsInt(login_type_);
  legacy_user_id_ = LegacyText("selvoUserID");
  if (login_type_ >= 2 && legacy_user_id_) {
    // The legacy steps left the user's root under the last legacy version.
    const std::string root =
        UserPreferences::RootKeyAppendAppVersion(kLastLegacyVersion, *legacy_user_id_);
    const int network = static_cast<int>(login_type_) - 2;
    if (network <= 2 && seams_.restore_authenticated) {
      static const char* const kTokens[] = {"WeiboAccessTokenKey", "QZoneAccessTokenKey",
                                            "RenrenAccessTokenKey"};
      static const char* const kGroups[] = {"WeiboPreference", "QZonePreference",
                                            "RenrenPreferenceKey"};
      seams_.restore_authenticated(
          network, UserPreferences::Object(root, kGroups[network], kTokens[network]));
    }
    const std::pair<const char*, const char*> entries[] = {
        {"WeiboPreference", "SendWeiboUserInfoKey"},
        {"WeiboPreference", "WeiboAccessTokenKey"},
        {"QZonePreference", "SendQZoneUserInfoKey"},
        {"QZonePreference", "QZoneAccessTokenKey"},
        {"RenrenPreferenceKey", "SendRenrenUserInfoKey"},
        {"RenrenPreferenceKey", "RenrenAccessTokenKey"},
    };
    if (!UserPreferences::Object(root).is_null()) {
      for (const auto& [group, entry] : entries) {
        UserPreferences::RemoveUserPreferenceKey(root, group, entry);
      }
    }
  }
  for (const char* key : {"email", "password", "selvoUserID", "type"}) {
    platform::StandardPreferences().Remove(key);
  }
  platform::StandardPreferences().Synchronize();

  if (IsOldVersion()) {
    if (identity_ && password_ && provider_) {
      EmailRelogin();
    } else if (login_type_ >= 2) {
      SnsRelogin();
    } else {
      UpdateFinish(kNothingToLogIn, 0, std::nullopt);
    }
    return;
  }
  InstallStoredLogin();
  UpdateFinish(kCurrent, 1.0, std::nullopt);
}

void UpdateUserInfo::EmailRelogin() {
  if (seams_.show_progress) seams_.show_progress("$$$Login...");
  const std::string provider = *provider_;
  std::weak_ptr<bool> alive = alive_;
  service::AccountAPIClient::EmailMobileLogin(
      provider, service::AccountAPIClient::GetSignature(*identity_, provider), *identity_,
      *password_,
      [this, alive, provider](const Value& response, const std::optional<std::string>&) {
        if (!alive.lock()) return;
        StoreLogin(response);
        const std::string user_id = LoginUserInfoPreferences::UserId();
        if (seams_.upgrade_streaming_tasks) {
          seams_.upgrade_streaming_tasks(SelvoUtils::HexText(user_id),
                                         UserPreferences::CurrentVersion(), old_version_);
        }
        platform::DefaultFileSystem().RemoveFile(SelvoUtils::SampleVideoFile());
        platform::DefaultFileSystem().RemoveFile(SelvoUtils::SampleAudioFile());
        UpdateFinish(kEmailLogin, 0, provider);
      },
      [this, alive](const Value&) {
        if (!alive.lock()) return;
        HideProgress();
        UpdateFinish(kFailed, 0, std::nullopt);
      });
}

void UpdateUserInfo::SnsRelogin() {
  if (login_type_ < 2 || login_type_ > 4) {
    UpdateFinish(kFailed, 0, std::nullopt);
    return;
  }
  const int network = static_cast<int>(login_type_) - 2;
  if (!seams_.has_valid_authentication || !seams_.has_valid_authentication(network)) return;
  std::weak_ptr<bool> alive = alive_;
  auto fail = [this, network] {
    HideProgress();
    ClearTemporarySnsKeys();
    if (seams_.logout_network) seams_.logout_network(network);
    UpdateFinish(kFailed, 0, std::nullopt);
  };
  auto on_info = [this, alive, fail](const Value& info) {
    if (!alive.lock()) return;
    for (const char* key :
         {"provider", "identity", "access_token", "expired_time", "screen_name", "avatar_url"}) {
      if (!info.Contains(key)) return fail();
    }
    auto text = [&info](const char* key) -> std::optional<std::string> {
      if (!info.Contains(key)) return std::nullopt;
      return info[key].AsString();
    };
    const std::string provider = info["provider"].AsString();
    const std::string identity = info["identity"].AsString();
    service::AccountAPIClient::SnsLogin(
        provider, service::AccountAPIClient::GetSignature(identity, provider), identity,
        info["screen_name"].AsString(),
        {text("access_token"), text("expired_time"), text("avatar_url"), text("session_key"),
         text("secret_key"), text("session_uid")},
        [this, alive, provider](const Value& response, const std::optional<std::string>&) {
          if (!alive.lock()) return;
          ClearTemporarySnsKeys();
          StoreLogin(response);
          UpdateFinish(kSnsLogin, 0, provider);
        },
        [alive, fail](const Value&) {
          if (alive.lock()) fail();
        });
  };
  if (!seams_.get_user_info || !seams_.get_user_info(network, on_info)) {
    UpdateFinish(kFailed, 0, std::nullopt);
    return;
  }
  if (seams_.show_progress) seams_.show_progress("$$$Login...");
}

void UpdateUserInfo::HideProgress() {
  if (seams_.hide_progress) seams_.hide_progress();
}

void UpdateUserInfo::UpdateFinish(int result, double delay_seconds,
                                  std::optional<std::string> provider) {
  if (delay_seconds > 0) {
    std::weak_ptr<bool> alive = alive_;
    platform::MainQueue().AsyncAfter(std::chrono::duration_cast<platform::Duration>(
                                         std::chrono::duration<double>(delay_seconds)),
                                     [this, alive, result, provider] {
                                       if (alive.lock()) UpdateFinish(result, 0, provider);
                                     });
    return;
  }
  HideProgress();
  if (delegate_) delegate_->UpdateUserInfoResult(result, provider);
}

}  // namespace shell
