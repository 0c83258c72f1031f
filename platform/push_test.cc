#include "platform/push.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(PushTest, TokenDescriptionGroupsFourBytes) {
  EXPECT_EQ(DescribeDeviceToken(std::string("\x0a\x1b\x2c\x3d\x4e\x5f\x60\x71\xff", 9)),
            "<0a1b2c3d 4e5f6071 ff>");
  EXPECT_EQ(DescribeDeviceToken(""), "<>");
}

}  // namespace
}  // namespace platform
