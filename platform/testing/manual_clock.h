// ManualClock: a clock that moves only when told to.
#pragma once

#include <atomic>

#include "platform/clock.h"

namespace platform {

class ManualClock final : public Clock {
 public:
  // Starts at a fixed monotonic origin and at `wall_start` in calendar time
  // (by default 2026-01-01 00:00:00 UTC).
  explicit ManualClock(WallTime wall_start = WallTime(std::chrono::seconds(1767225600)));

  TimePoint Now() override;
  WallTime WallNow() override;

  void Advance(Duration d);
  // Jumps forward to `t`; earlier times are ignored.
  void AdvanceTo(TimePoint t);

 private:
  std::atomic<int64_t> elapsed_ns_{0};
  const TimePoint origin_;
  const WallTime wall_start_;
};

}  // namespace platform
