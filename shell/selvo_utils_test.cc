#include "shell/selvo_utils.h"

#include <gtest/gtest.h>

#include "platform/testing/fake_platform.h"

namespace shell {
namespace {

TEST(SelvoUtilsTest, UserAgent) {
  platform::FakePlatform fake;
  fake.environment.version = "2.1";
  fake.environment.locale = "zh_CN";
  EXPECT_EQ(SelvoUtils::DefaultUserAgentString(), "Selvo 2.1 (x86_64; Linux 6.1.0-test; zh_CN)");
  EXPECT_EQ(SelvoUtils::UserAgentVersionText("2.1", "2.1"), "2.1");
  EXPECT_EQ(SelvoUtils::UserAgentVersionText("2.1", "305"), "2.1 rv:305");
  EXPECT_EQ(SelvoUtils::UserAgentVersionText("", "305"), "305");
  EXPECT_EQ(SelvoUtils::UserAgentVersionText("2.1", ""), "2.1");
}

TEST(SelvoUtilsTest, PlatformNameFoldsPhoneFamilies) {
  EXPECT_EQ(SelvoUtils::PlatformNameFor("iPhone4,1"), "iPhone");
  EXPECT_EQ(SelvoUtils::PlatformNameFor("iPad2,5"), "iPad");
  EXPECT_EQ(SelvoUtils::PlatformNameFor("iPod5,1"), "iPod Touch");
  EXPECT_EQ(SelvoUtils::PlatformNameFor("x86_64"), "x86_64");
}

}  // namespace
}  // namespace shell
