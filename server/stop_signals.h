// SIGTERM and SIGINT as a request to stop: blocked in every thread and taken
// by one waiting thread, so handlers never run in the middle of server code.
// Also ignores SIGPIPE, which a peer closing its socket would otherwise raise.
#pragma once

#include <functional>
#include <thread>

namespace server {

class StopSignals {
 public:
  // Call before any other thread starts, so that all inherit the blocked mask.
  StopSignals();
  ~StopSignals();
  // Calls `on_stop` (on the waiting thread) at the first SIGTERM or SIGINT.
  void OnStop(std::function<void()> on_stop);

 private:
  std::thread waiter_;
};

}  // namespace server
