#include "platform/clock.h"

#include <atomic>

namespace platform {
namespace {

class MachineClock final : public Clock {
 public:
  TimePoint Now() override { return std::chrono::steady_clock::now(); }
  WallTime WallNow() override { return std::chrono::system_clock::now(); }
};

std::atomic<Clock*> g_default_clock{nullptr};

}  // namespace

Clock& SystemClock() {
  // Never destroyed: threads that outlive main (the machine dispatcher's) still read it
  // while the process exits.
  static auto* clock = new MachineClock();
  return *clock;
}

Clock& DefaultClock() {
  Clock* clock = g_default_clock.load(std::memory_order_acquire);
  return clock ? *clock : SystemClock();
}

void SetDefaultClock(Clock* clock) { g_default_clock.store(clock, std::memory_order_release); }

}  // namespace platform
