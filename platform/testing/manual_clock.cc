#include "platform/testing/manual_clock.h"

namespace platform {

ManualClock::ManualClock(WallTime wall_start)
    : origin_(TimePoint(std::chrono::hours(1000))), wall_start_(wall_start) {}

TimePoint ManualClock::Now() { return origin_ + Duration(elapsed_ns_.load()); }

WallTime ManualClock::WallNow() {
  return wall_start_ + std::chrono::duration_cast<WallTime::duration>(Duration(elapsed_ns_.load()));
}

void ManualClock::Advance(Duration d) {
  if (d.count() > 0) elapsed_ns_ += d.count();
}

void ManualClock::AdvanceTo(TimePoint t) {
  int64_t target = (t - origin_).count();
  int64_t current = elapsed_ns_.load();
  while (target > current && !elapsed_ns_.compare_exchange_weak(current, target)) {
  }
}

}  // namespace platform
