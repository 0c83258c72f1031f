#include "platform/linux/linux_application.h"

#include <signal.h>
#include <unistd.h>

#include <cfloat>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/linux/signal_set.h"

namespace platform {
namespace {

sigset_t LifecycleSignals() { return SignalSet({SIGTERM, SIGINT, SIGUSR1, SIGUSR2}); }

}  // namespace

void LinuxApplication::BlockLifecycleSignals() { BlockSignals(LifecycleSignals()); }

LinuxApplication::LinuxApplication(LinuxDispatcher& dispatcher, PushService& push,
                                   double background_seconds)
    : dispatcher_(dispatcher), push_(push), background_seconds_(background_seconds) {
  BlockLifecycleSignals();
  signal_thread_ = std::thread([this] { SignalLoop(); });
  push_.SetDeliveryHandler([this](const Value& payload) {
    OnMain([this, payload] {
      if (delegate_) delegate_->DidReceiveRemoteNotification(payload);
    });
  });
}

LinuxApplication::~LinuxApplication() {
  stop_signals_.store(true);
  signal_thread_.join();
  push_.SetDeliveryHandler(nullptr);
}

void LinuxApplication::SignalLoop() {
  const sigset_t set = LifecycleSignals();
  const timespec poll = {0, 200 * 1000 * 1000};
  while (!stop_signals_.load()) {
    int signo = sigtimedwait(&set, nullptr, &poll);
    if (signo < 0) continue;
    switch (signo) {
      case SIGUSR1:
        OnMain([this] { EnterBackground(); });
        break;
      case SIGUSR2:
        OnMain([this] { EnterForeground(); });
        break;
      default: {
        if (terminating_.load() || interrupted_.load()) {
          static const char kMessage[] = "interrupted again; exiting without finishing\n";
          (void)!::write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
          ::_exit(128 + signo);
        }
        std::function<void(int)> handler;
        {
          std::lock_guard lock(mutex_);
          handler = interrupt_handler_;
        }
        if (handler) {
          interrupted_.store(true);
          OnMain([handler, signo] { handler(signo); });
          break;
        }
        Terminate(128 + signo);
      }
    }
  }
}

int LinuxApplication::Run(ApplicationDelegate& delegate, const LaunchOptions& options) {
  delegate_ = &delegate;
  OnMain([this, options] {
    delegate_->DidFinishLaunching(options);
    if (terminating_.load()) return;
    state_.store(ApplicationState::kActive);
    delegate_->DidBecomeActive();
  });
  dispatcher_.RunMainLoop();
  return exit_status_;
}

void LinuxApplication::Terminate(int status) {
  if (terminating_.exchange(true)) return;
  OnMain([this, status] {
    exit_status_ = status;
    if (delegate_) delegate_->WillTerminate();
    dispatcher_.QuitMainLoop();
  });
}

void LinuxApplication::SetInterruptHandler(std::function<void(int signo)> handler) {
  std::lock_guard lock(mutex_);
  interrupt_handler_ = std::move(handler);
}

void LinuxApplication::EnterBackground() {
  if (state_.load() == ApplicationState::kBackground || terminating_.load()) return;
  delegate_->WillResignActive();
  uint64_t generation;
  {
    std::lock_guard lock(mutex_);
    background_since_ = dispatcher_.clock().Now();
    generation = ++background_generation_;
  }
  state_.store(ApplicationState::kBackground);
  delegate_->DidEnterBackground();
  // When the budget is spent, the open background tasks expire.
  dispatcher_.MainQueue().AsyncAfter(
      std::chrono::duration_cast<Duration>(std::chrono::duration<double>(background_seconds_)),
      [this, generation] {
        std::vector<Closure> expired;
        {
          std::lock_guard lock(mutex_);
          if (generation != background_generation_ ||
              state_.load() != ApplicationState::kBackground) {
            return;
          }
          for (auto& [id, handler] : background_tasks_) expired.push_back(handler);
        }
        for (auto& handler : expired) {
          if (handler) handler();
        }
      });
}

void LinuxApplication::EnterForeground() {
  if (state_.load() != ApplicationState::kBackground || terminating_.load()) return;
  {
    std::lock_guard lock(mutex_);
    ++background_generation_;
  }
  state_.store(ApplicationState::kInactive);
  delegate_->WillEnterForeground();
  state_.store(ApplicationState::kActive);
  delegate_->DidBecomeActive();
}

double LinuxApplication::BackgroundTimeRemaining() const {
  if (state_.load() != ApplicationState::kBackground) return DBL_MAX;
  std::lock_guard lock(mutex_);
  double spent =
      std::chrono::duration<double>(dispatcher_.clock().Now() - background_since_).count();
  return std::max(0.0, background_seconds_ - spent);
}

BackgroundTaskId LinuxApplication::BeginBackgroundTask(Closure expiration) {
  std::lock_guard lock(mutex_);
  BackgroundTaskId id = next_task_++;
  background_tasks_[id] = std::move(expiration);
  return id;
}

void LinuxApplication::EndBackgroundTask(BackgroundTaskId id) {
  std::lock_guard lock(mutex_);
  background_tasks_.erase(id);
}

void LinuxApplication::RegisterForRemoteNotifications(int types) {
  push_.Register(types, [this](std::optional<std::string> token, int code, std::string message) {
    OnMain([this, token, code, message] {
      if (!delegate_) return;
      if (token) {
        delegate_->DidRegisterForRemoteNotifications(*token);
      } else {
        delegate_->DidFailToRegisterForRemoteNotifications(code, message);
      }
    });
  });
}

}  // namespace platform
