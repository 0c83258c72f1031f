// Dispatch: queues of work in the manner of the phone platform's dispatch library.
//
//  - A serial queue runs one block at a time, in submission order.
//  - The main queue is a serial queue run by the process's main thread (its run loop).
//  - The global queue runs blocks concurrently on a pool of threads.
//  - Work can be submitted to run after a delay, and repeating timers fire on a queue.
//
// The Linux implementation (platform/linux/linux_dispatcher.h) runs real threads;
// the test double (platform/testing/manual_dispatcher.h) runs every queue on the
// test's thread against a manual clock, so that no test needs to sleep.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace platform {

using Closure = std::function<void()>;

class DispatchQueue {
 public:
  virtual ~DispatchQueue() = default;

  virtual const std::string& label() const = 0;

  // Submits `work` and returns at once.
  virtual void Async(Closure work) = 0;

  // Submits `work` and waits until it has run. Calling it from a block of the
  // same serial queue would wait forever: that is a programming error and aborts.
  virtual void Sync(Closure work) = 0;

  // Submits `work` to run once `delay` has passed on the dispatcher's clock.
  virtual void AsyncAfter(Duration delay, Closure work) = 0;

  // True while the calling thread runs a block of this queue.
  virtual bool IsCurrent() const = 0;
};

// A repeating timer; destroying it (or Cancel) stops further ticks. A tick that
// has already started is not interrupted.
class Timer {
 public:
  virtual ~Timer() = default;
  virtual void Cancel() = 0;
};

class Dispatcher {
 public:
  virtual ~Dispatcher() = default;

  // A new serial queue. Blocks already submitted still run after the last
  // reference is dropped.
  virtual std::shared_ptr<DispatchQueue> CreateSerialQueue(std::string label) = 0;
  virtual DispatchQueue& MainQueue() = 0;
  virtual DispatchQueue& GlobalQueue() = 0;

  // Calls `tick` on `queue` every `interval`, the first time one interval from now.
  virtual std::unique_ptr<Timer> ScheduleRepeating(DispatchQueue& queue, Duration interval,
                                                   Closure tick) = 0;

  // The clock that delays and timers are measured on.
  virtual Clock& clock() = 0;
};

// The dispatcher of the process: the Linux dispatcher unless a test installed
// another with SetDefaultDispatcher (nullptr restores the Linux one).
Dispatcher& DefaultDispatcher();
void SetDefaultDispatcher(Dispatcher* dispatcher);

// Shorthands for the default dispatcher's queues.
inline DispatchQueue& MainQueue() { return DefaultDispatcher().MainQueue(); }
inline DispatchQueue& GlobalQueue() { return DefaultDispatcher().GlobalQueue(); }

}  // namespace platform
