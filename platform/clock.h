// Clock: the one source of time for code above the platform, so that tests can
// replace it. Now() is monotonic (timers, time-outs); WallNow() is calendar time.
#pragma once

#include <chrono>

namespace platform {

using Duration = std::chrono::nanoseconds;
using TimePoint = std::chrono::steady_clock::time_point;
using WallTime = std::chrono::system_clock::time_point;

class Clock {
 public:
  virtual ~Clock() = default;
  virtual TimePoint Now() = 0;
  virtual WallTime WallNow() = 0;
};

// The machine's clocks.
Clock& SystemClock();

// The clock everything above the platform reads; SystemClock() unless a test
// installed another with SetDefaultClock (nullptr restores the system clock).
Clock& DefaultClock();
void SetDefaultClock(Clock* clock);

}  // namespace platform
