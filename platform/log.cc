#include "platform/log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace platform {
namespace {

std::atomic<bool> g_verbose{false};
std::mutex g_mutex;
std::function<void(std::string_view)>& Sink() {
  static auto* sink = new std::function<void(std::string_view)>();
  return *sink;
}

}  // namespace

void Log(std::string_view line) {
  std::lock_guard lock(g_mutex);
  if (Sink()) {
    Sink()(line);
  } else if (g_verbose.load()) {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
  }
}

void Logf(const char* format, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  Log(buffer);
}

void SetVerboseLogging(bool verbose) { g_verbose.store(verbose); }

void SetLogSink(std::function<void(std::string_view)> sink) {
  std::lock_guard lock(g_mutex);
  Sink() = std::move(sink);
}

}  // namespace platform
