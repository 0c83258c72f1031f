#include "server/stop_signals.h"

#include <pthread.h>
#include <signal.h>

namespace server {
namespace {

sigset_t StopSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGUSR2);  // wakes the waiter when the server stops by itself
  return set;
}

}  // namespace

StopSignals::StopSignals() {
  signal(SIGPIPE, SIG_IGN);
  sigset_t set = StopSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
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
