// WorkerWaiter: how the engine waits — a worker between polls of a growing recording
// (200 ms) and before the second pass over finished files (2 s), the queue before it
// signals a stopped recorder (500 ms).
//
// A wait ends early once the stop flag it watches is 1: whoever raises a stop flag calls
// Wake, so a stop never has to sit out a sleep. Tests install a waiter that drives the
// scenario instead of sleeping.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace selvo {

class WorkerWaiter {
 public:
  virtual ~WorkerWaiter() = default;
  // Waits about `milliseconds`, or until `stop` is 1 and Wake was called. Called from
  // any thread.
  virtual void Wait(int milliseconds, const std::atomic<int>& stop) = 0;
  // A stop flag was raised: waits watching it end.
  virtual void Wake() = 0;
};

// The waiter of the application: it sleeps.
class SleepingWaiter final : public WorkerWaiter {
 public:
  void Wait(int milliseconds, const std::atomic<int>& stop) override;
  void Wake() override;

 private:
  std::mutex mutex_;
  std::condition_variable woken_;
};

}  // namespace selvo
