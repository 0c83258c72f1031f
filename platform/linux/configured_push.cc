#include "platform/linux/configured_push.h"

#include <cstdlib>

namespace platform {
namespace {

std::optional<std::string> HexToBytes(const std::string& hex) {
  if (hex.empty() || hex.size() % 2 != 0) return std::nullopt;
  std::string bytes;
  for (size_t i = 0; i < hex.size(); i += 2) {
    auto nibble = [](char c) -> int {
      if (c >= '0' && c <= '9') return c - '0';
      if (c >= 'a' && c <= 'f') return c - 'a' + 10;
      if (c >= 'A' && c <= 'F') return c - 'A' + 10;
      return -1;
    };
    int hi = nibble(hex[i]), lo = nibble(hex[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    bytes += static_cast<char>(hi * 16 + lo);
  }
  return bytes;
}

}  // namespace

ConfiguredPushService::ConfiguredPushService(std::optional<std::string> token_bytes)
    : token_bytes_(std::move(token_bytes)) {}

ConfiguredPushService ConfiguredPushService::FromEnvironment() {
  const char* token = std::getenv("SELVO_PUSH_TOKEN");
  return ConfiguredPushService(token ? HexToBytes(token) : std::nullopt);
}

void ConfiguredPushService::Register(int /*types*/, RegistrationDone done) {
  if (token_bytes_) {
    done(DescribeDeviceToken(*token_bytes_), 0, "");
  } else {
    done(std::nullopt, kPushNotSupported, "remote notifications are not available on this machine");
  }
}

}  // namespace platform
