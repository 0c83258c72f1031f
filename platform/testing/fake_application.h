// FakeApplication: the lifecycle driven by a test. Transitions call the delegate
// directly; background time is read off the dispatcher's manual clock.
#pragma once

#include <map>
#include <vector>

#include "platform/application.h"
#include "platform/testing/manual_clock.h"

namespace platform {

class FakeApplication final : public Application {
 public:
  // `clock` measures background time; `background_seconds` is the budget.
  FakeApplication(Clock& clock, double background_seconds = 180);

  void set_delegate(ApplicationDelegate* delegate) { delegate_ = delegate; }
  bool Launch(const LaunchOptions& options = {});
  void EnterBackground();
  void EnterForeground();
  void Terminate();
  // Runs the expiration handlers of the open background tasks.
  void ExpireBackgroundTasks();

  ApplicationState state() const override { return state_; }
  double BackgroundTimeRemaining() const override;
  BackgroundTaskId BeginBackgroundTask(Closure expiration) override;
  void EndBackgroundTask(BackgroundTaskId id) override;
  int IconBadgeNumber() const override { return badge_; }
  void SetIconBadgeNumber(int number) override;
  void CancelAllLocalNotifications() override { ++local_notification_cancels; }
  void SetIdleTimerDisabled(bool disabled) override { idle_timer_disabled = disabled; }
  void PlaySystemSound(int sound_id) override { sounds.push_back(sound_id); }
  void RegisterForRemoteNotifications(int types) override { registered_types.push_back(types); }
  ApplicationDelegate* delegate() const override { return delegate_; }

  size_t open_background_tasks() const { return tasks_.size(); }

  // What the code under test did.
  std::vector<int> badge_history;
  std::vector<int> sounds;
  std::vector<int> registered_types;
  int local_notification_cancels = 0;
  bool idle_timer_disabled = false;

 private:
  Clock& clock_;
  const double background_seconds_;
  ApplicationDelegate* delegate_ = nullptr;
  ApplicationState state_ = ApplicationState::kInactive;
  TimePoint background_since_{};
  int badge_ = 0;
  BackgroundTaskId next_task_ = 1;
  std::map<BackgroundTaskId, Closure> tasks_;
};

}  // namespace platform
