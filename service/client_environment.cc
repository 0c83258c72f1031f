#include "service/client_environment.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace service {
namespace {

std::atomic<ClientEnvironment*> g_installed{nullptr};

}  // namespace

ClientEnvironment& DefaultClientEnvironment() {
  ClientEnvironment* e = g_installed.load(std::memory_order_acquire);
  if (!e) {
    std::fprintf(stderr, "service: no client environment installed (see SetClientEnvironment)\n");
    std::abort();
  }
  return *e;
}

void SetClientEnvironment(ClientEnvironment* environment) {
  g_installed.store(environment, std::memory_order_release);
}

}  // namespace service
