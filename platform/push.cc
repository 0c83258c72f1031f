#include "platform/push.h"

namespace platform {

std::string DescribeDeviceToken(const std::string& bytes) {
  static const char kHex[] = "0123456789abcdef";
  std::string text = "<";
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0 && i % 4 == 0) text += ' ';
    auto b = static_cast<unsigned char>(bytes[i]);
    text += kHex[b >> 4];
    text += kHex[b & 15];
  }
  return text + ">";
}

}  // namespace platform
