#include "engine/worker_waiter.h"

#include <chrono>

namespace selvo {

void SleepingWaiter::Wait(int milliseconds, const std::atomic<int>& stop) {
  std::unique_lock lock(mutex_);
  woken_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                  [&stop] { return stop.load() == 1; });
}

void SleepingWaiter::Wake() {
  // Taking the lock orders the flag (raised before this call) with a waiter that is
  // between its check and its sleep.
  std::lock_guard lock(mutex_);
  woken_.notify_all();
}

}  // namespace selvo
