// PushService: registration of the device for remote notifications and their
// delivery.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/value.h"

namespace platform {

class PushService {
 public:
  virtual ~PushService() = default;

  // `done` gets the token's description ("<0a1b2c3d ...>") or an error code and
  // message; it may run on any thread.
  using RegistrationDone =
      std::function<void(std::optional<std::string> token_description, int code, std::string message)>;
  virtual void Register(int types, RegistrationDone done) = 0;

  // Payloads that arrive later go to `handler`, on any thread.
  using DeliveryHandler = std::function<void(const Value& payload)>;
  virtual void SetDeliveryHandler(DeliveryHandler handler) = 0;
};

// Error code of a machine that cannot receive remote notifications.
inline constexpr int kPushNotSupported = 3000;

// Writes raw token bytes as the platform describes them: "<" + groups of eight
// lower-case hexadecimal digits separated by blanks + ">".
std::string DescribeDeviceToken(const std::string& bytes);

}  // namespace platform
