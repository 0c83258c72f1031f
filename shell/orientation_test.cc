#include "shell/orientation.h"

#include <gtest/gtest.h>

#include "platform/testing/fake_platform.h"

namespace shell {
namespace {

TEST(OrientationTest, PreferredOrientationSearchesFromTheDeviceOrientation) {
  using D = DeviceOrientation;
  using I = InterfaceOrientation;
  struct Case {
    unsigned support;
    D device;
    I expected;
  };
  const Case cases[] = {
      {kSupportPortrait, D::kPortrait, I::kPortrait},
      {kSupportPortrait | kSupportLandscapeRight, D::kLandscapeLeft, I::kLandscapeRight},
      {kSupportLandscapeLeft, D::kPortrait, I::kLandscapeLeft},
      {kSupportPortrait, D::kLandscapeLeft, I::kPortrait},  // no wrap-around: falls back
      {kSupportLandscapeLeft | kSupportUpsideDown, D::kLandscapeRight, I::kLandscapeLeft},
      {kSupportLandscapeRight, D::kPortraitUpsideDown, I::kPortrait},  // upside down checks itself
      {kSupportUpsideDown, D::kPortraitUpsideDown, I::kPortraitUpsideDown},
      {kSupportLandscapeRight, D::kFaceUp, I::kPortrait},
      {kSupportLandscapeRight, D::kUnknown, I::kPortrait},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PreferredInterfaceOrientation(c.support, c.device), c.expected)
        << "support " << c.support << " device " << static_cast<int>(c.device);
  }
}

TEST(OrientationTest, SupportedMasks) {
  EXPECT_EQ(ApplicationSupportedOrientations(), 10u);
  EXPECT_EQ(SupportedInterfaceOrientations(kSupportPortrait), unsigned{kMaskPortrait});
  EXPECT_EQ(SupportedInterfaceOrientations(15), 2u + 4 + 8 + 16);
}

TEST(OrientationTest, SystemVersionThresholds) {
  platform::FakePlatform fake;
  struct Case {
    const char* version;
    bool five, six;
  };
  for (const Case& c : {Case{"4.3", false, false}, Case{"5.0", true, false},
                        Case{"6.1.0-test", true, true}, Case{"", false, false}}) {
    fake.environment.system.version = c.version;
    EXPECT_EQ(CompatibilityUtils::IsIOS5orAfter(), c.five) << c.version;
    EXPECT_EQ(CompatibilityUtils::IsIOS6orAfter(), c.six) << c.version;
  }
}

}  // namespace
}  // namespace shell
