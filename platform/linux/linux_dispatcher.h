// The dispatcher on Linux threads: a thread per serial queue (started when the
// queue first gets work), a pool for the global queue, one timer thread for
// delayed work and repeating timers, and a main queue run by whichever thread
// calls RunMainLoop (the process's main thread).
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/dispatch.h"

namespace platform {

class LinuxDispatcher final : public Dispatcher {
 public:
  // `global_threads` 0 picks the number of processors (at least 2).
  explicit LinuxDispatcher(unsigned global_threads = 0);
  ~LinuxDispatcher() override;

  // The process's dispatcher on the machine (what DefaultDispatcher() gives
  // when no test double is installed). Never destroyed.
  static LinuxDispatcher& Machine();

  std::shared_ptr<DispatchQueue> CreateSerialQueue(std::string label) override;
  DispatchQueue& MainQueue() override;
  DispatchQueue& GlobalQueue() override;
  std::unique_ptr<Timer> ScheduleRepeating(DispatchQueue& queue, Duration interval,
                                           Closure tick) override;
  Clock& clock() override;

  // Runs the main queue's blocks on the calling thread until QuitMainLoop.
  void RunMainLoop();
  // Runs the main queue's blocks until `done()` holds (checked after each block)
  // or `timeout` passes; returns done().
  bool RunMainLoopUntil(const std::function<bool()>& done, Duration timeout);
  // Makes RunMainLoop return after the block it runs now; callable from any thread.
  void QuitMainLoop();

  // Runs `work` on the timer thread at `due`. Internal to the queues.
  void ScheduleAt(TimePoint due, Closure work);

  class WorkList;

 private:
  void TimerLoop();

  std::shared_ptr<WorkList> main_work_;
  std::unique_ptr<DispatchQueue> main_queue_;
  std::unique_ptr<DispatchQueue> global_queue_;

  std::mutex timer_mutex_;
  std::condition_variable timer_cv_;
  std::multimap<TimePoint, Closure> timers_;
  bool stopping_ = false;
  std::thread timer_thread_;
};

}  // namespace platform
