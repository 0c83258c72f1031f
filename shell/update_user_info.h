// UpdateUserInfo: carries the stored state of older application versions into
// the current one, once, from the start screen. It finds the version the
// state was last saved under, runs the upgrade steps from that version on,
// removes the legacy keys, and then signs the user in again (by e-mail, or
// through the social network of the legacy login) or, when the state is
// current after all, restores the stored login. The delegate hears the result:
//
//   0 re-login failed, 1 nothing to log in with, 2 social-network re-login
//   succeeded, 3 e-mail re-login succeeded, 4 the stored state was current.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/value.h"

namespace shell {

class UpdateUserInfoDelegate {
 public:
  virtual ~UpdateUserInfoDelegate() = default;
  virtual void UpdateUserInfoResult(int result, const std::optional<std::string>& provider) = 0;
};

// What the upgrade asks of other parts of the application (the share manager,
// the streaming engine, the progress overlay). Missing entries are skipped; a
// missing authentication check counts as "not authenticated".
struct UpdateUserInfoSeams {
  // Networks by index: 0 Sina Weibo, 1 QZone, 2 Renren.
  std::function<void(int network, const platform::Value& access_token)> restore_authenticated;
  std::function<bool(int network)> has_valid_authentication;
  // Starts asking the network for the user's information; false when it cannot start.
  std::function<bool(int network, std::function<void(const platform::Value& info)> done)>
      get_user_info;
  std::function<void(int network)> logout_network;
  std::function<void(const std::string& hex_user_id, const std::string& current_version,
                     const std::string& old_version)>
      upgrade_streaming_tasks;
  std::function<void(const std::string& text)> show_progress;
  std::function<void()> hide_progress;
};

class UpdateUserInfo {
 public:
  enum Result { kFailed = 0, kNothingToLogIn = 1, kSnsLogin = 2, kEmailLogin = 3, kCurrent = 4 };

  UpdateUserInfo(UpdateUserInfoDelegate* delegate, UpdateUserInfoSeams seams = {});
  ~UpdateUserInfo();

  // Whether the signed-in user's state was saved under another version (or
  // under none).
  static bool IsOldVersion();

  // Runs the upgrade. Results arrive on the main queue (some at once).
  void Update();

  // The steps that ran, by name, in order.
  const std::vector<std::string>& steps_run() const { return steps_run_; }
  const std::string& old_version() const { return old_version_; }

 private:
  void Update_1_0_or_1_0_1_to_1_1();
  void Update_1_1_to_1_2();
  void Update_1_2_to_1_2_1();
  void Update_1_2_1_to_2_0();
  void UpdateProcessing();
  void EmailRelogin();
  void SnsRelogin();
  void UpdateFinish(int result, double delay_seconds, std::optional<std::string> provider);
  void HideProgress();

  UpdateUserInfoDelegate* delegate_;
  UpdateUserInfoSeams seams_;
  std::string old_version_;
  int64_t login_type_ = 0;
  std::optional<std::string> identity_;
  std::optional<std::string> password_;
  std::optional<std::string> provider_;
  std::optional<std::string> legacy_user_id_;
  std::vector<std::string> steps_run_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace shell
