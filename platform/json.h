// JSON text to and from Value.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/value.h"

namespace platform {

// Parses JSON text. On malformed input returns nullopt and, when `error` is
// given, a one-line description.
std::optional<Value> ParseJson(std::string_view text, std::string* error = nullptr);

// Writes JSON text. Opaque pointers are written as null. `indent` < 0 writes one line.
std::string ToJson(const Value& value, int indent = -1);

}  // namespace platform
