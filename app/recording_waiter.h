// RecordingWaiter: how the engine's workers wait in this application. A worker that found
// no new data in a growing recording polls again after 200 ms; here that poll also ends as
// soon as the recorder has appended a sample to a recording, so a piece leaves as soon as
// its last picture and sound are in the files instead of up to a poll later. Longer waits
// (the pause before a second pass, the queue's wait before it signals a stopped recorder)
// run their full time. A raised stop flag ends every wait, as with the engine's own waiter.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "engine/worker_waiter.h"

namespace app {

class RecordingWaiter final : public selvo::WorkerWaiter {
 public:
  // Waits of at most `poll_ms` are polls for data.
  explicit RecordingWaiter(int poll_ms = 200) : poll_ms_(poll_ms) {}

  void Wait(int milliseconds, const std::atomic<int>& stop) override;
  void Wake() override;
  // The recorder appended to a recording (any thread).
  void RecordingGrew();

 private:
  const int poll_ms_;
  std::mutex mutex_;
  std::condition_variable woken_;
  uint64_t growth_ = 0;  // under mutex_
};

}  // namespace app
