#include "platform/dispatch.h"

#include <atomic>

#include "platform/dispatch_internal.h"
#include "platform/linux/linux_dispatcher.h"

namespace platform {
namespace {

std::atomic<Dispatcher*> g_installed{nullptr};
thread_local const DispatchQueue* tl_current_queue = nullptr;

}  // namespace

Dispatcher& DefaultDispatcher() {
  if (Dispatcher* d = g_installed.load(std::memory_order_acquire)) return *d;
  return LinuxDispatcher::Machine();
}

void SetDefaultDispatcher(Dispatcher* dispatcher) {
  g_installed.store(dispatcher, std::memory_order_release);
}

namespace internal {

CurrentQueueScope::CurrentQueueScope(const DispatchQueue* queue) : saved_(tl_current_queue) {
  tl_current_queue = queue;
}

CurrentQueueScope::~CurrentQueueScope() { tl_current_queue = saved_; }

const DispatchQueue* CurrentQueue() { return tl_current_queue; }

}  // namespace internal
}  // namespace platform
