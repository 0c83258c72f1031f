#include "service/api_error_report.h"

#include <atomic>

#include "platform/localization.h"
#include "platform/notification_center.h"

namespace service {
namespace {

std::atomic<bool> kInvalidAccessTokenReported{false};

}  // namespace

APIErrorReport& APIErrorReport::Instance() {
  static APIErrorReport* instance = new APIErrorReport();
  return *instance;
}

void APIErrorReport::Report(const platform::Value& error) {
  const int64_t code = error["code"].AsInt(0);
  if (code != 401) return;
  if (kInvalidAccessTokenReported.exchange(true)) return;
  platform::Alert alert;
  alert.title = platform::LocalizedString("tooltip");
  alert.message = platform::LocalizedString("$$$Invalid_AccessToken_Relogin");
  alert.buttons = {platform::LocalizedString("OK")};
  alert.tag = kInvalidAccessTokenAlertTag;
  alert.delegate = &Instance();
  platform::DefaultAlertPresenter().Show(std::move(alert));
}

void APIErrorReport::Pause() { kInvalidAccessTokenReported.store(true); }

void APIErrorReport::Reset() { kInvalidAccessTokenReported.store(false); }

bool APIErrorReport::InvalidAccessTokenReported() { return kInvalidAccessTokenReported.load(); }

void APIErrorReport::AlertClickedButtonAtIndex(const platform::Alert& alert, int /*button_index*/) {
  if (alert.tag != kInvalidAccessTokenAlertTag) return;
  platform::NotificationCenter::Default().Post(kInvalidAccessTokenNotification);
}

}  // namespace service
