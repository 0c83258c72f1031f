#include "platform/linux/linux_reachability.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(LinuxReachabilityTest, FlagsFromInterfaces) {
  const InterfaceState lo{"lo", true, true, true, true, false};
  const InterfaceState eth{"eth0", true, true, false, true, false};
  const InterfaceState eth_down{"eth0", true, false, false, true, false};
  const InterfaceState eth_bare{"eth0", true, true, false, false, false};
  const InterfaceState wlan{"wlan0", true, true, false, true, true};
  struct Case {
    std::vector<InterfaceState> interfaces;
    uint32_t internet;
    uint32_t wifi;
  };
  const uint32_t direct = kReachabilityReachable | kReachabilityIsDirect;
  const Case cases[] = {
      {{}, 0, 0},
      {{lo}, 0, 0},
      {{lo, eth}, kReachabilityReachable, 0},
      {{lo, eth_down}, 0, 0},
      {{lo, eth_bare}, 0, 0},
      {{lo, wlan}, kReachabilityReachable, direct},
      {{eth, wlan}, kReachabilityReachable, direct},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(ReachabilityFlagsFor(cases[i].interfaces, false), cases[i].internet) << i;
    EXPECT_EQ(ReachabilityFlagsFor(cases[i].interfaces, true), cases[i].wifi) << i;
  }
}

TEST(LinuxReachabilityTest, ReadsTheMachine) {
  LinuxReachability reachability;
  auto interfaces = reachability.Interfaces();
  ASSERT_TRUE(interfaces);
  bool loopback = false;
  for (const auto& i : *interfaces) loopback = loopback || i.loopback;
  EXPECT_TRUE(loopback);
  EXPECT_TRUE(reachability.InternetFlags());
}

}  // namespace
}  // namespace platform
