// Signals taken by a waiting thread (sigwait, sigtimedwait) instead of by
// handlers: blocked in every thread, so that none interrupts the program's own
// code.
#pragma once

#include <signal.h>

#include <initializer_list>

namespace platform {

sigset_t SignalSet(std::initializer_list<int> signals);
// Blocks `set` in the calling thread and in every thread it starts later: call
// it before any other thread exists.
void BlockSignals(const sigset_t& set);

}  // namespace platform
