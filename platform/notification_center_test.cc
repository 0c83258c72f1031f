#include "platform/notification_center.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/testing/manual_dispatcher.h"

namespace platform {
namespace {

TEST(NotificationCenterTest, DeliversByNameWithObjectAndUserInfo) {
  NotificationCenter center;
  std::vector<std::string> seen;
  auto a = center.AddObserver("A", [&](const Notification& n) {
    seen.push_back(n.name + ":" + n.object["k"].AsString() + ":" + n.user_info["u"].AsString());
  });
  auto any = center.AddObserver("", [&](const Notification& n) { seen.push_back("any:" + n.name); });
  Value object;
  object.Set("k", "v");
  Value info;
  info.Set("u", 7);
  center.Post("A", object, info);
  center.Post("B");
  EXPECT_EQ(seen, (std::vector<std::string>{"A:v:7", "any:A", "any:B"}));
}

TEST(NotificationCenterTest, PrivateCentresAreSeparate) {
  NotificationCenter one, two;
  int hits = 0;
  auto s = one.AddObserver("X", [&](const Notification&) { ++hits; });
  two.Post("X");
  EXPECT_EQ(hits, 0);
  one.Post("X");
  EXPECT_EQ(hits, 1);
}

TEST(NotificationCenterTest, ObserverRemovedDuringAPostIsNotCalledAfterwards) {
  NotificationCenter center;
  std::vector<int> calls;
  NotificationCenter::Subscription second;
  auto first = center.AddObserver("N", [&](const Notification&) {
    calls.push_back(1);
    second.Cancel();
  });
  second = center.AddObserver("N", [&](const Notification&) { calls.push_back(2); });
  center.Post("N");
  center.Post("N");
  EXPECT_EQ(calls, (std::vector<int>{1, 1}));
  EXPECT_EQ(center.observer_count(), 1u);
}

TEST(NotificationCenterTest, QueuedObserverRunsOnItsQueueAndNotAfterRemoval) {
  ManualDispatcher d;
  NotificationCenter center;
  int hits = 0;
  auto s = center.AddObserver("N", [&](const Notification&) {
    EXPECT_TRUE(d.MainQueue().IsCurrent());
    ++hits;
  }, &d.MainQueue());
  center.Post("N");
  EXPECT_EQ(hits, 0);
  d.RunUntilIdle();
  EXPECT_EQ(hits, 1);
  center.Post("N");
  s.Cancel();
  d.RunUntilIdle();
  EXPECT_EQ(hits, 1);
}

TEST(NotificationCenterTest, SubscriptionMayOutliveItsCentre) {
  NotificationCenter::Subscription s;
  {
    NotificationCenter center;
    s = center.AddObserver("N", [](const Notification&) {});
  }
  s.Cancel();  // must not touch the destroyed centre
  EXPECT_FALSE(s.active());
}

}  // namespace
}  // namespace platform
