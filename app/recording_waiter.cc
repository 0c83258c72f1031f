#include "app/recording_waiter.h"

#include <chrono>

namespace app {

void RecordingWaiter::Wait(int milliseconds, const std::atomic<int>& stop) {
  std::unique_lock lock(mutex_);
  const uint64_t growth = growth_;
  const bool poll = milliseconds <= poll_ms_;
  woken_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                  [&] { return stop.load() == 1 || (poll && growth_ != growth); });
}

void RecordingWaiter::Wake() {
  // Taking the lock orders the flag (raised before this call) with a waiter that is
  // between its check and its sleep.
  std::lock_guard lock(mutex_);
  woken_.notify_all();
}

void RecordingWaiter::RecordingGrew() {
  std::lock_guard lock(mutex_);
  ++growth_;
  woken_.notify_all();
}

}  // namespace app
