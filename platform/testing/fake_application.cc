#include "platform/testing/fake_application.h"

#include <algorithm>
#include <cfloat>

namespace platform {

FakeApplication::FakeApplication(Clock& clock, double background_seconds)
    : clock_(clock), background_seconds_(background_seconds) {}

bool FakeApplication::Launch(const LaunchOptions& options) {
  bool result = delegate_->DidFinishLaunching(options);
  state_ = ApplicationState::kActive;
  delegate_->DidBecomeActive();
  return result;
}

void FakeApplication::EnterBackground() {
  delegate_->WillResignActive();
  state_ = ApplicationState::kBackground;
  background_since_ = clock_.Now();
  delegate_->DidEnterBackground();
}

void FakeApplication::EnterForeground() {
  state_ = ApplicationState::kInactive;
  delegate_->WillEnterForeground();
  state_ = ApplicationState::kActive;
  delegate_->DidBecomeActive();
}

void FakeApplication::Terminate() { delegate_->WillTerminate(); }

void FakeApplication::ExpireBackgroundTasks() {
  auto tasks = tasks_;
  for (auto& [id, handler] : tasks) {
    if (handler) handler();
  }
}

double FakeApplication::BackgroundTimeRemaining() const {
  if (state_ != ApplicationState::kBackground) return DBL_MAX;
  double spent = std::chrono::duration<double>(clock_.Now() - background_since_).count();
  return std::max(0.0, background_seconds_ - spent);
}

BackgroundTaskId FakeApplication::BeginBackgroundTask(Closure expiration) {
  BackgroundTaskId id = next_task_++;
  tasks_[id] = std::move(expiration);
  return id;
}

void FakeApplication::EndBackgroundTask(BackgroundTaskId id) { tasks_.erase(id); }

void FakeApplication::SetIconBadgeNumber(int number) {
  badge_ = number;
  badge_history.push_back(number);
}

}  // namespace platform
