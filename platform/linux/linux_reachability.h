// Reachability on Linux: the interfaces of getifaddrs. The network is reachable
// when an interface other than loopback is up and running with an IPv4 address
// or a global IPv6 address; Wi-Fi when such an interface is wireless (it has
// <sysfs>/<name>/wireless or <sysfs>/<name>/phy80211).
#pragma once

#include <string>
#include <vector>

#include "platform/reachability.h"

namespace platform {

struct InterfaceState {
  std::string name;
  bool up = false;
  bool running = false;
  bool loopback = false;
  bool has_address = false;  // IPv4, or IPv6 outside the link-local range
  bool wireless = false;
};

// The flags the interfaces give; `wifi_only` considers wireless ones only.
uint32_t ReachabilityFlagsFor(const std::vector<InterfaceState>& interfaces, bool wifi_only);

class LinuxReachability final : public Reachability {
 public:
  explicit LinuxReachability(std::string sysfs_net = "/sys/class/net")
      : sysfs_net_(std::move(sysfs_net)) {}

  std::optional<uint32_t> InternetFlags() override;
  std::optional<uint32_t> LocalWiFiFlags() override;

  // The machine's interfaces now; nullopt when getifaddrs fails.
  std::optional<std::vector<InterfaceState>> Interfaces() const;

 private:
  std::string sysfs_net_;
};

}  // namespace platform
