// FakeReachability: flags the test sets (connected over Wi-Fi by default).
#pragma once

#include "platform/reachability.h"

namespace platform {

class FakeReachability final : public Reachability {
 public:
  std::optional<uint32_t> InternetFlags() override { return internet; }
  std::optional<uint32_t> LocalWiFiFlags() override { return wifi; }

  std::optional<uint32_t> internet = kReachabilityReachable;
  std::optional<uint32_t> wifi = kReachabilityReachable | kReachabilityIsDirect;
};

}  // namespace platform
