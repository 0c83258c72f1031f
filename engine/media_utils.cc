#include "engine/media_utils.h"

#include <climits>
#include <cstddef>
#include <cstring>

namespace selvo {

namespace {

constexpr char kExtInf[] = "#EXTINF:";
constexpr size_t kExtInfLength = sizeof(kExtInf) - 1;
constexpr size_t kMinLine = 9;
constexpr size_t kMaxLine = 1023;

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The whole-second part of a duration, read as C's atoi reads a number (leading space, a
// sign, digits) but clamped to 0..INT_MAX: a duration is never negative, and text from
// the network must not overflow anything.
long long WholeSeconds(const char* text, const char* end) {
  while (text < end && IsSpace(*text)) ++text;
  bool negative = false;
  if (text < end && (*text == '+' || *text == '-')) negative = *text++ == '-';
  long long value = 0;
  for (; text < end && *text >= '0' && *text <= '9'; ++text) {
    value = value * 10 + (*text - '0');
    if (value > INT_MAX) value = INT_MAX;
  }
  return negative ? 0 : value;
}

}  // namespace

int MediaUtils::ParseDuarationFromM3U8(const char* playlist) {
  if (!playlist) return 0;
  long long total = 0;
  const char* line = playlist;
  for (const char* newline = std::strchr(line, '\n'); newline;
       line = newline + 1, newline = std::strchr(line, '\n')) {
    const size_t length = static_cast<size_t>(newline - line);
    if (length < kMinLine || length > kMaxLine) continue;
    if (std::strncmp(line, kExtInf, kExtInfLength) != 0) continue;
    total += WholeSeconds(line + kExtInfLength, newline);
    if (total > INT_MAX) total = INT_MAX;
  }
  return static_cast<int>(total);
}

}  // namespace selvo
