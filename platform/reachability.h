// Reachability: whether the device can reach the network, and whether over
// Wi-Fi, as flags in the manner of the phone platform's reachability service.
#pragma once

#include <cstdint>
#include <optional>

namespace platform {

enum ReachabilityFlag : uint32_t {
  kReachabilityReachable = 1u << 1,
  kReachabilityConnectionRequired = 1u << 2,
  kReachabilityIsDirect = 1u << 17,  // on the local link, without a router
};

class Reachability {
 public:
  virtual ~Reachability() = default;
  // Flags for reaching any address (the zero address); nullopt when they
  // cannot be read.
  virtual std::optional<uint32_t> InternetFlags() = 0;
  // Flags for reaching the link-local network (169.254.0.0): reachable and
  // direct when a Wi-Fi link is up.
  virtual std::optional<uint32_t> LocalWiFiFlags() = 0;
};

// The Linux reachability unless a test installed another (nullptr restores it).
Reachability& DefaultReachability();
void SetDefaultReachability(Reachability* reachability);

}  // namespace platform
