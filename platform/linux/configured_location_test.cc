#include "platform/linux/configured_location.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(ConfiguredLocationTest, ParsesTheSetting) {
  struct Case {
    const char* text;
    bool valid;
    double latitude, longitude, accuracy;
  };
  const Case cases[] = {
      {"31.23,121.47", true, 31.23, 121.47, 10},
      {"-33.9, 18.4, 800", true, -33.9, 18.4, 800},
      {"91,0", false, 0, 0, 0},
      {"0,181", false, 0, 0, 0},
      {"12", false, 0, 0, 0},
      {"1,2,x", false, 0, 0, 0},
      {"1,2,-3", false, 0, 0, 0},
      {"1,2 junk", false, 0, 0, 0},
  };
  for (const auto& c : cases) {
    auto fix = ParseLocationSetting(c.text);
    ASSERT_EQ(fix.has_value(), c.valid) << c.text;
    if (!fix) continue;
    EXPECT_DOUBLE_EQ(fix->latitude, c.latitude);
    EXPECT_DOUBLE_EQ(fix->longitude, c.longitude);
    EXPECT_DOUBLE_EQ(fix->horizontal_accuracy, c.accuracy);
  }
}

TEST(ConfiguredLocationTest, WithoutAPositionServicesAreDisabled) {
  ConfiguredLocationProvider provider(std::nullopt);
  EXPECT_FALSE(provider.CreateManager()->ServicesEnabled());
}

}  // namespace
}  // namespace platform
