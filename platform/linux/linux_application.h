// The application lifecycle of a Linux process.
//
//   SIGTERM, SIGINT  will-terminate: the delegate's WillTerminate runs to
//                    completion on the main queue, then Run returns 128 + signal.
//                    A second such signal during termination exits at once.
//                    While an interrupt handler is set, the first one goes to it
//                    instead (a job that must end its work properly, then calls
//                    Terminate itself), and a second one exits at once.
//   SIGUSR1          go to the background (will-resign-active, did-enter-background)
//   SIGUSR2          come back (will-enter-foreground, did-become-active)
//
// Background time is a budget (SELVO_BACKGROUND_SECONDS, default 180) counted
// from entering the background; when it runs out, open background tasks get
// their expiration handlers.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "platform/application.h"
#include "platform/linux/linux_dispatcher.h"
#include "platform/push.h"

namespace platform {

class LinuxApplication final : public Application {
 public:
  // Blocks the lifecycle signals in the calling thread and every thread it
  // starts later. Call first thing in main, before any thread exists.
  static void BlockLifecycleSignals();

  LinuxApplication(LinuxDispatcher& dispatcher, PushService& push, double background_seconds);
  ~LinuxApplication() override;

  // Launches (DidFinishLaunching, DidBecomeActive), runs the main loop until
  // termination, and returns the exit status.
  int Run(ApplicationDelegate& delegate, const LaunchOptions& options);
  // Terminates from the program itself: WillTerminate, then Run returns `status`.
  // Callable from any thread.
  void Terminate(int status);
  // Takes the first SIGTERM or SIGINT for `handler` (called on the main queue with
  // the signal) instead of terminating; null gives it back to termination.
  void SetInterruptHandler(std::function<void(int signo)> handler);
  // The background and foreground transitions the signals cause.
  void EnterBackground();
  void EnterForeground();

  ApplicationState state() const override { return state_.load(); }
  double BackgroundTimeRemaining() const override;
  BackgroundTaskId BeginBackgroundTask(Closure expiration) override;
  void EndBackgroundTask(BackgroundTaskId id) override;
  int IconBadgeNumber() const override { return badge_.load(); }
  void SetIconBadgeNumber(int number) override { badge_.store(number); }
  void CancelAllLocalNotifications() override {}
  void SetIdleTimerDisabled(bool) override {}
  void PlaySystemSound(int) override {}
  void RegisterForRemoteNotifications(int types) override;
  ApplicationDelegate* delegate() const override { return delegate_; }

 private:
  void SignalLoop();
  void OnMain(Closure work) { dispatcher_.MainQueue().Async(std::move(work)); }

  LinuxDispatcher& dispatcher_;
  PushService& push_;
  const double background_seconds_;
  ApplicationDelegate* delegate_ = nullptr;
  std::atomic<ApplicationState> state_{ApplicationState::kInactive};
  std::atomic<int> badge_{0};
  std::atomic<bool> terminating_{false};
  std::atomic<bool> interrupted_{false};
  std::function<void(int)> interrupt_handler_;  // under mutex_
  std::atomic<bool> stop_signals_{false};
  int exit_status_ = 0;

  mutable std::mutex mutex_;
  TimePoint background_since_{};
  uint64_t background_generation_ = 0;
  BackgroundTaskId next_task_ = 1;
  std::map<BackgroundTaskId, Closure> background_tasks_;

  std::thread signal_thread_;
};

}  // namespace platform
