#include "platform/utf8.h"

namespace platform {

size_t DecodeUtf8(std::string_view text, char32_t* code_point) {
  if (text.empty()) return 0;
  const auto lead = static_cast<unsigned char>(text[0]);
  size_t length;
  char32_t code;
  if (lead < 0x80) {
    *code_point = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2;
    code = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    code = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    code = lead & 0x07;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[k]);
    if ((next & 0xC0) != 0x80) return 0;
    code = (code << 6) | (next & 0x3F);
  }
  static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
    return 0;
  }
  *code_point = code;
  return length;
}

bool IsValidUtf8(std::string_view text) {
  while (!text.empty()) {
    char32_t code_point;
    const size_t length = DecodeUtf8(text, &code_point);
    if (length == 0) return false;
    text.remove_prefix(length);
  }
  return true;
}

size_t CountUtf8Characters(std::string_view text) {
  size_t count = 0;
  for (char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

}  // namespace platform
