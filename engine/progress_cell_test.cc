// The progress a worker stores after each piece, read by the queue at the same time.
#include "engine/progress_cell.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace selvo {
namespace {

// Every field derived from one number, so that a mixed read shows.
StreamProgress ProgressOf(uint32_t n) {
  StreamProgress p;
  p.video_position = int64_t{n} * 1000;
  p.audio_position = int64_t{n} * 100;
  p.counter = {n, n + 1, uint64_t{n} * 1000000, uint64_t{n} * 999000};
  p.pat_counter = n + 2;
  p.pmt_counter = n + 3;
  p.segment = n / 10 + 1;
  p.piece = n % 10 + 1;
  return p;
}

TEST(ProgressCellTest, AReaderNeverSeesFieldsOfTwoStores) {
  ProgressCell cell(ProgressOf(0));
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (uint32_t n = 1; n <= 20000; ++n) cell.Store(ProgressOf(n));
    done = true;
  });
  uint32_t last = 0;
  int reads = 0;
  while (!done.load() || reads < 10) {
    const StreamProgress p = cell.Load();
    const auto n = static_cast<uint32_t>(p.video_position / 1000);
    const StreamProgress expected = ProgressOf(n);
    ASSERT_EQ(p.audio_position, expected.audio_position);
    ASSERT_EQ(p.counter.video_counter, expected.counter.video_counter);
    ASSERT_EQ(p.counter.audio_counter, expected.counter.audio_counter);
    ASSERT_EQ(p.counter.video_time, expected.counter.video_time);
    ASSERT_EQ(p.counter.audio_time, expected.counter.audio_time);
    ASSERT_EQ(p.pat_counter, expected.pat_counter);
    ASSERT_EQ(p.pmt_counter, expected.pmt_counter);
    ASSERT_EQ(p.segment, expected.segment);
    ASSERT_EQ(p.piece, expected.piece);
    ASSERT_GE(n, last);  // never backwards
    last = n;
    ++reads;
  }
  writer.join();
  EXPECT_EQ(cell.Load().video_position, 20000000);
}

}  // namespace
}  // namespace selvo
