// Push on Linux: there is no push service, so registration fails unless a
// device token is configured in SELVO_PUSH_TOKEN (hexadecimal). Nothing is
// ever delivered.
#pragma once

#include <optional>
#include <string>

#include "platform/push.h"

namespace platform {

class ConfiguredPushService final : public PushService {
 public:
  explicit ConfiguredPushService(std::optional<std::string> token_bytes);
  static ConfiguredPushService FromEnvironment();

  void Register(int types, RegistrationDone done) override;
  void SetDeliveryHandler(DeliveryHandler) override {}

 private:
  std::optional<std::string> token_bytes_;
};

}  // namespace platform
