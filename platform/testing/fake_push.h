// FakePushService: registration answered by the test; payloads delivered by it.
#pragma once

#include "platform/push.h"

namespace platform {

class FakePushService final : public PushService {
 public:
  void Register(int types, RegistrationDone done) override {
    registered_types = types;
    pending_ = std::move(done);
  }
  void SetDeliveryHandler(DeliveryHandler handler) override { handler_ = std::move(handler); }

  void Grant(const std::string& description) {
    if (pending_) pending_(description, 0, "");
  }
  void Refuse(int code, const std::string& message) {
    if (pending_) pending_(std::nullopt, code, message);
  }
  void Deliver(const Value& payload) {
    if (handler_) handler_(payload);
  }

  int registered_types = 0;

 private:
  RegistrationDone pending_;
  DeliveryHandler handler_;
};

}  // namespace platform
