// Diagnostic lines ("<what> failed: <error>"). They go to a sink: by default
// standard error when verbose logging is on (selvo --verbose), nowhere otherwise;
// tests install their own sink to see them.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace platform {

void Log(std::string_view line);
// printf-style convenience.
void Logf(const char* format, ...) __attribute__((format(printf, 1, 2)));

void SetVerboseLogging(bool verbose);
// Replaces the sink; nullptr restores the default.
void SetLogSink(std::function<void(std::string_view)> sink);

}  // namespace platform
