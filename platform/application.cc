#include "platform/application.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace platform {
namespace {
std::atomic<Application*> g_application{nullptr};
}  // namespace

Application& SharedApplication() {
  Application* app = g_application.load(std::memory_order_acquire);
  if (!app) {
    std::fprintf(stderr, "SharedApplication() called before an application was installed\n");
    std::abort();
  }
  return *app;
}

void SetSharedApplication(Application* application) {
  g_application.store(application, std::memory_order_release);
}

}  // namespace platform
