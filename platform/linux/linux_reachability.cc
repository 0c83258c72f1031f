#include "platform/linux/linux_reachability.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/stat.h>

#include <atomic>
#include <map>

namespace platform {
namespace {

std::atomic<Reachability*> g_installed{nullptr};

bool Exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

uint32_t ReachabilityFlagsFor(const std::vector<InterfaceState>& interfaces, bool wifi_only) {
  for (const InterfaceState& i : interfaces) {
    if (i.loopback || !i.up || !i.running || !i.has_address) continue;
    if (wifi_only && !i.wireless) continue;
    return wifi_only ? kReachabilityReachable | kReachabilityIsDirect : kReachabilityReachable;
  }
  return 0;
}

std::optional<std::vector<InterfaceState>> LinuxReachability::Interfaces() const {
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return std::nullopt;
  std::map<std::string, InterfaceState> by_name;
  for (ifaddrs* a = list; a; a = a->ifa_next) {
    if (!a->ifa_name) continue;
    InterfaceState& s = by_name[a->ifa_name];
    s.name = a->ifa_name;
    s.up = s.up || (a->ifa_flags & IFF_UP);
    s.running = s.running || (a->ifa_flags & IFF_RUNNING);
    s.loopback = s.loopback || (a->ifa_flags & IFF_LOOPBACK);
    if (!a->ifa_addr) continue;
    if (a->ifa_addr->sa_family == AF_INET) s.has_address = true;
    if (a->ifa_addr->sa_family == AF_INET6) {
      const auto* v6 = reinterpret_cast<const sockaddr_in6*>(a->ifa_addr);
      if (!IN6_IS_ADDR_LINKLOCAL(&v6->sin6_addr)) s.has_address = true;
    }
  }
  ::freeifaddrs(list);
  std::vector<InterfaceState> result;
  for (auto& [name, state] : by_name) {
    const std::string dir = sysfs_net_ + "/" + name;
    state.wireless = Exists(dir + "/wireless") || Exists(dir + "/phy80211");
    result.push_back(std::move(state));
  }
  return result;
}

std::optional<uint32_t> LinuxReachability::InternetFlags() {
  auto interfaces = Interfaces();
  if (!interfaces) return std::nullopt;
  return ReachabilityFlagsFor(*interfaces, false);
}

std::optional<uint32_t> LinuxReachability::LocalWiFiFlags() {
  auto interfaces = Interfaces();
  if (!interfaces) return std::nullopt;
  return ReachabilityFlagsFor(*interfaces, true);
}

Reachability& DefaultReachability() {
  if (Reachability* r = g_installed.load(std::memory_order_acquire)) return *r;
  static LinuxReachability* machine = new LinuxReachability();
  return *machine;
}

void SetDefaultReachability(Reachability* reachability) {
  g_installed.store(reachability, std::memory_order_release);
}

}  // namespace platform
