#include "shell/selvo_global_preferences.h"

#include <gtest/gtest.h>

#include "platform/testing/fake_platform.h"

namespace shell {
namespace {

TEST(SelvoGlobalPreferencesTest, ServiceLimitsHaveDefaults) {
  platform::FakePlatform fake;
  EXPECT_EQ(SelvoGlobalPreferences::TimelineListCount(), 50);
  EXPECT_EQ(SelvoGlobalPreferences::ContactListMaxCount(), 150);
  SelvoGlobalPreferences::SetTimelineListCount(20);
  SelvoGlobalPreferences::SetContactListMaxCount(300);
  SelvoGlobalPreferences::SetTimelineListCount(0);  // ignored
  EXPECT_EQ(SelvoGlobalPreferences::TimelineListCount(), 20);
  EXPECT_EQ(SelvoGlobalPreferences::ContactListMaxCount(), 300);
  fake.preferences.Set("TimelineListCount", "garbage");
  EXPECT_EQ(SelvoGlobalPreferences::TimelineListCount(), 50);
}

}  // namespace
}  // namespace shell
