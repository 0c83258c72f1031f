#include "platform/linux/linux_dispatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/clock.h"

namespace platform {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// Real threads: the tests wait for outcomes, never for time to pass, except
// where a delay itself is what is tested (a few milliseconds).

TEST(LinuxDispatcherTest, SerialQueueKeepsOrderAndNeverOverlaps) {
  LinuxDispatcher d;
  auto q = d.CreateSerialQueue("q");
  constexpr int kBlocks = 2000;
  std::vector<int> order;
  std::atomic<int> inside{0};
  std::atomic<bool> overlapped{false};
  std::promise<void> done;
  // Submitters on several threads; each block checks that it runs alone.
  std::vector<std::thread> submitters;
  std::mutex submit_mutex;  // makes submission order well defined for the order check
  int submitted = 0;
  for (int t = 0; t < 4; ++t) {
    submitters.emplace_back([&] {
      for (int i = 0; i < kBlocks / 4; ++i) {
        std::lock_guard lock(submit_mutex);
        int n = submitted++;
        q->Async([&, n] {
          if (inside.fetch_add(1) != 0) overlapped = true;
          order.push_back(n);  // unsynchronised on purpose: TSan flags any overlap
          inside.fetch_sub(1);
          if (n == kBlocks - 1) done.set_value();
        });
      }
    });
  }
  for (auto& t : submitters) t.join();
  done.get_future().wait();
  EXPECT_FALSE(overlapped.load());
  ASSERT_EQ(order.size(), static_cast<size_t>(kBlocks));
  for (int i = 0; i < kBlocks; ++i) ASSERT_EQ(order[static_cast<size_t>(i)], i);
}

TEST(LinuxDispatcherTest, SyncFromAnotherQueueWaitsForEarlierBlocks) {
  LinuxDispatcher d;
  auto engine = d.CreateSerialQueue("engine");
  auto other = d.CreateSerialQueue("other");
  std::promise<void> gate;
  std::shared_future<void> opened = gate.get_future().share();
  std::vector<int> order;
  engine->Async([&, opened] {
    opened.wait();
    order.push_back(1);
  });
  std::promise<std::vector<int>> seen;
  other->Async([&] {
    engine->Sync([&] {
      EXPECT_TRUE(engine->IsCurrent());
      EXPECT_FALSE(other->IsCurrent());
      order.push_back(2);
    });
    seen.set_value(order);
  });
  gate.set_value();
  EXPECT_EQ(seen.get_future().get(), (std::vector<int>{1, 2}));
}

TEST(LinuxDispatcherTest, SyncOntoOwnQueueAborts) {
  EXPECT_DEATH(
      {
        LinuxDispatcher d;
        auto q = d.CreateSerialQueue("q");
        q->Sync([&] { q->Sync([] {}); });
      },
      "would wait forever");
}

// The machine's dispatcher is never destroyed: its timer thread still reads the clock
// while the process exits, after the destructors of static objects have run.
TEST(LinuxDispatcherTest, TheSystemClockOutlivesTheStaticObjects) {
  const std::string style = GTEST_FLAG_GET(death_test_style);
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process: the clock is new in it
  EXPECT_EXIT(
      {
        // Registered before the clock exists, so it runs after the clock's destructor would.
        std::atexit([] { SystemClock().Now(); });
        SystemClock().Now();
        std::exit(0);
      },
      testing::ExitedWithCode(0), "");
  GTEST_FLAG_SET(death_test_style, style);
}

TEST(LinuxDispatcherTest, MainLoopRunsBlocksFromOtherThreadsAndQuits) {
  LinuxDispatcher d;
  std::thread::id main_thread = std::this_thread::get_id();
  std::vector<int> order;
  d.GlobalQueue().Async([&] {
    d.MainQueue().Async([&] {
      EXPECT_EQ(std::this_thread::get_id(), main_thread);
      EXPECT_TRUE(d.MainQueue().IsCurrent());
      order.push_back(1);
    });
    d.MainQueue().Async([&] {
      order.push_back(2);
      d.QuitMainLoop();
    });
  });
  d.RunMainLoop();
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(LinuxDispatcherTest, DelayedBlockRunsNoEarlierThanItsDelay) {
  LinuxDispatcher d;
  auto q = d.CreateSerialQueue("q");
  const TimePoint start = d.clock().Now();
  std::promise<Duration> ran;
  q->AsyncAfter(milliseconds(30), [&] { ran.set_value(d.clock().Now() - start); });
  EXPECT_GE(ran.get_future().get(), milliseconds(30));
}

TEST(LinuxDispatcherTest, RepeatingTimerTicksUntilDestroyed) {
  LinuxDispatcher d;
  std::atomic<int> ticks{0};
  bool finished = false;
  auto timer = d.ScheduleRepeating(d.MainQueue(), milliseconds(2), [&] { ++ticks; });
  finished = d.RunMainLoopUntil([&] { return ticks.load() >= 3; }, seconds(10));
  EXPECT_TRUE(finished);
  timer.reset();
  int after = ticks.load();
  d.RunMainLoopUntil([] { return false; }, milliseconds(20));
  EXPECT_EQ(ticks.load(), after);
}

TEST(LinuxDispatcherTest, QueueDroppedWithWorkPendingStillRunsIt) {
  LinuxDispatcher d;
  std::promise<void> ran;
  {
    auto q = d.CreateSerialQueue("short-lived");
    q->AsyncAfter(milliseconds(5), [&] { ran.set_value(); });
  }
  EXPECT_EQ(ran.get_future().wait_for(seconds(10)), std::future_status::ready);
}

}  // namespace
}  // namespace platform
