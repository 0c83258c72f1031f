#include "platform/linux/signal_set.h"

#include <pthread.h>

namespace platform {

sigset_t SignalSet(std::initializer_list<int> signals) {
  sigset_t set;
  sigemptyset(&set);
  for (int signal_number : signals) sigaddset(&set, signal_number);
  return set;
}

void BlockSignals(const sigset_t& set) { pthread_sigmask(SIG_BLOCK, &set, nullptr); }

}  // namespace platform
