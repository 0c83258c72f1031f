// ManualDispatcher: the test double of the dispatcher. Every queue, the main and
// global queues included, runs on the thread that drives the dispatcher, one
// block at a time, against a ManualClock. Blocks run only inside RunUntilIdle,
// AdvanceBy or Sync, so a test decides exactly when work happens and never sleeps.
//
// Other threads (an engine worker, say) may submit work at any time; it runs at
// the driver's next call. Sync from such a thread waits until the driver runs it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/dispatch.h"
#include "platform/testing/manual_clock.h"

namespace platform {

class ManualDispatcher final : public Dispatcher {
 public:
  ManualDispatcher();
  ~ManualDispatcher() override;

  std::shared_ptr<DispatchQueue> CreateSerialQueue(std::string label) override;
  DispatchQueue& MainQueue() override;
  DispatchQueue& GlobalQueue() override;
  std::unique_ptr<Timer> ScheduleRepeating(DispatchQueue& queue, Duration interval,
                                           Closure tick) override;
  Clock& clock() override { return clock_; }
  ManualClock& manual_clock() { return clock_; }

  // Runs every block that is due, including the blocks they submit, until none
  // is left. Returns how many ran.
  size_t RunUntilIdle();
  // Moves the clock forward by `d`, running delayed blocks and timer ticks at
  // their due times, in time order. Returns how many blocks ran.
  size_t AdvanceBy(Duration d);
  // Blocks waiting, due now or later.
  size_t pending() const;

  class Queue;
  struct Item {
    TimePoint due;
    uint64_t seq;
    std::shared_ptr<Queue> queue;
    Closure work;
  };

  // Internal to the queues.
  void Submit(std::shared_ptr<Queue> queue, Duration delay, Closure work);
  void SyncOn(std::shared_ptr<Queue> queue, Closure work);

 private:
  bool RunOneDue();
  bool IsDriver() const { return std::this_thread::get_id() == driver_; }

  ManualClock clock_;
  const std::thread::id driver_;
  mutable std::mutex mutex_;
  std::condition_variable ran_;  // signalled after every block, for foreign Sync
  std::deque<Item> items_;       // kept sorted by (due, seq)
  uint64_t next_seq_ = 0;
  std::shared_ptr<Queue> main_;
  std::shared_ptr<Queue> global_;
};

}  // namespace platform
