#include "server/stop_signals.h"

#include <pthread.h>
#include <signal.h>

#include "platform/linux/signal_set.h"

namespace server {
namespace {

// SIGUSR2 wakes the waiter when the server stops by itself.
sigset_t StopSet() { return platform::SignalSet({SIGTERM, SIGINT, SIGUSR2}); }

}  // namespace

StopSignals::StopSignals() {
  signal(SIGPIPE, SIG_IGN);
  platform::BlockSignals(StopSet());
}

StopSignals::~StopSignals() {
  if (waiter_.joinable()) {
    pthread_kill(waiter_.native_handle(), SIGUSR2);
    waiter_.join();
  }
}

void StopSignals::OnStop(std::function<void()> on_stop) {
  waiter_ = std::thread([on_stop = std::move(on_stop)] {
    sigset_t set = StopSet();
    int signal_number = 0;
    sigwait(&set, &signal_number);
    if (signal_number != SIGUSR2) on_stop();
  });
}

}  // namespace server
