// APIErrorReport: turns a rejected access token (error "code" 401) into one
// alert per login. Confirming the alert posts "InvalidAccessTokenNotification",
// on which the main screen logs out. Pause suppresses the alert (a screen that
// handles 401 itself); Reset re-arms it (every successful login).
#pragma once

#include "platform/alert.h"
#include "platform/value.h"

namespace service {

inline constexpr char kInvalidAccessTokenNotification[] = "InvalidAccessTokenNotification";

class APIErrorReport final : public platform::AlertDelegate {
 public:
  static constexpr int kInvalidAccessTokenAlertTag = 4000;

  // The shared delegate of the alert.
  static APIErrorReport& Instance();

  // Shows the alert for a 401 error JSON, once until Reset. Call on the main queue.
  static void Report(const platform::Value& error);
  static void Pause();
  static void Reset();
  // Whether an alert was shown (or Pause called) since the last Reset.
  static bool InvalidAccessTokenReported();

  void AlertClickedButtonAtIndex(const platform::Alert& alert, int button_index) override;

 private:
  APIErrorReport() = default;
};

}  // namespace service
