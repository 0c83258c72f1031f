#include "platform/testing/manual_dispatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace platform {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

TEST(ManualDispatcherTest, NothingRunsUntilTheTestDrives) {
  ManualDispatcher d;
  int runs = 0;
  d.MainQueue().Async([&] { ++runs; });
  EXPECT_EQ(runs, 0);
  EXPECT_EQ(d.pending(), 1u);
  EXPECT_EQ(d.RunUntilIdle(), 1u);
  EXPECT_EQ(runs, 1);
}

TEST(ManualDispatcherTest, SerialQueueRunsInSubmissionOrderAcrossQueues) {
  ManualDispatcher d;
  auto a = d.CreateSerialQueue("a");
  auto b = d.CreateSerialQueue("b");
  std::vector<std::string> order;
  a->Async([&] { order.push_back("a1"); });
  b->Async([&] { order.push_back("b1"); });
  a->Async([&] {
    order.push_back("a2");
    a->Async([&] { order.push_back("a4"); });  // submitted from a block: runs after a3
  });
  a->Async([&] { order.push_back("a3"); });
  d.RunUntilIdle();
  EXPECT_EQ(order, (std::vector<std::string>{"a1", "b1", "a2", "a3", "a4"}));
}

TEST(ManualDispatcherTest, SyncFromAnotherQueueRunsEarlierBlocksFirst) {
  ManualDispatcher d;
  auto engine = d.CreateSerialQueue("engine");
  std::vector<int> order;
  engine->Async([&] { order.push_back(1); });
  engine->Async([&] { order.push_back(2); });
  d.MainQueue().Async([&] {
    engine->Sync([&] {
      EXPECT_TRUE(engine->IsCurrent());
      order.push_back(3);
    });
    EXPECT_TRUE(d.MainQueue().IsCurrent());
    order.push_back(4);
  });
  // Main was submitted after the engine blocks but runs first by time order;
  // Sync must still keep the engine's order: 1, 2, then the synced block.
  d.RunUntilIdle();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
}

TEST(ManualDispatcherTest, SyncFromForeignThreadWaitsForTheDriver) {
  ManualDispatcher d;
  auto engine = d.CreateSerialQueue("engine");
  std::atomic<bool> ran{false}, returned{false};
  std::thread worker([&] {
    engine->Sync([&] { ran = true; });
    returned = true;
  });
  while (d.pending() == 0) std::this_thread::yield();
  EXPECT_FALSE(ran.load());
  d.RunUntilIdle();
  worker.join();
  EXPECT_TRUE(ran.load());
  EXPECT_TRUE(returned.load());
}

TEST(ManualDispatcherTest, SyncOntoTheRunningQueueAborts) {
  EXPECT_DEATH(
      {
        ManualDispatcher d;
        auto q = d.CreateSerialQueue("q");
        q->Async([&] { q->Sync([] {}); });
        d.RunUntilIdle();
      },
      "would wait forever");
}

TEST(ManualDispatcherTest, DelayedWorkRunsAtItsTimeInTimeOrder) {
  ManualDispatcher d;
  auto q = d.CreateSerialQueue("q");
  std::vector<std::pair<int, int64_t>> runs;  // (id, ms since start)
  const TimePoint start = d.clock().Now();
  auto at = [&] {
    return std::chrono::duration_cast<milliseconds>(d.clock().Now() - start).count();
  };
  q->AsyncAfter(milliseconds(300), [&] { runs.emplace_back(3, at()); });
  d.MainQueue().AsyncAfter(milliseconds(100), [&] { runs.emplace_back(1, at()); });
  q->AsyncAfter(milliseconds(200), [&] { runs.emplace_back(2, at()); });
  EXPECT_EQ(d.RunUntilIdle(), 0u);
  EXPECT_EQ(d.AdvanceBy(milliseconds(250)), 2u);
  EXPECT_EQ(d.AdvanceBy(milliseconds(49)), 0u);
  EXPECT_EQ(d.AdvanceBy(milliseconds(1)), 1u);
  EXPECT_EQ(runs, (std::vector<std::pair<int, int64_t>>{{1, 100}, {2, 200}, {3, 300}}));
}

TEST(ManualDispatcherTest, RepeatingTimerTicksEveryIntervalUntilCancelled) {
  ManualDispatcher d;
  std::vector<int64_t> ticks;
  const TimePoint start = d.clock().Now();
  auto timer = d.ScheduleRepeating(d.MainQueue(), seconds(600), [&] {
    ticks.push_back(std::chrono::duration_cast<seconds>(d.clock().Now() - start).count());
  });
  d.AdvanceBy(seconds(599));
  EXPECT_TRUE(ticks.empty());
  d.AdvanceBy(seconds(1801));
  EXPECT_EQ(ticks, (std::vector<int64_t>{600, 1200, 1800, 2400}));
  timer.reset();
  d.AdvanceBy(seconds(6000));
  EXPECT_EQ(ticks.size(), 4u);
}

TEST(ManualDispatcherTest, TimerCancelledFromItsOwnTickStops) {
  ManualDispatcher d;
  int ticks = 0;
  std::unique_ptr<Timer> timer;
  timer = d.ScheduleRepeating(d.MainQueue(), seconds(1), [&] {
    if (++ticks == 2) timer->Cancel();
  });
  d.AdvanceBy(seconds(10));
  EXPECT_EQ(ticks, 2);
}

}  // namespace
}  // namespace platform
