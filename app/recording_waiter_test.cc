#include "app/recording_waiter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace app {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// A worker thread waits; the test thread signals until the wait has ended. A wake that did
// not work would leave the worker in a ten-minute wait, past the test's time-out.
TEST(RecordingWaiterTest, APollEndsWhenTheRecordingGrowsAndAnyWaitWhenStopped) {
  RecordingWaiter waiter(600000);
  std::atomic<int> stop{0};
  for (bool by_growth : {true, false}) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
      waiter.Wait(by_growth ? 600000 : 1200000, stop);  // a poll, then a longer wait
      done.store(true);
    });
    if (!by_growth) stop.store(1);
    while (!done.load()) {
      if (by_growth) {
        waiter.RecordingGrew();
      } else {
        waiter.Wake();
      }
      std::this_thread::yield();
    }
    worker.join();
  }
}

TEST(RecordingWaiterTest, GrowthDoesNotShortenLongerWaits) {
  RecordingWaiter waiter(10);
  std::atomic<int> stop{0};
  std::atomic<bool> done{false};
  const auto start = steady_clock::now();
  std::thread worker([&] {
    waiter.Wait(50, stop);  // the pause before a second pass, say
    done.store(true);
  });
  while (!done.load()) {
    waiter.RecordingGrew();
    std::this_thread::yield();
  }
  worker.join();
  EXPECT_GE(steady_clock::now() - start, milliseconds(50));
}

}  // namespace
}  // namespace app
