#include "platform/test_picture.h"

#include <gtest/gtest.h>

#include <random>

namespace platform {
namespace {

constexpr int64_t kTime = 1718000000123;  // a June 2024 afternoon, in ms

// Box-filters the luma of `frame` down to `w` x `h`.
std::vector<uint8_t> Shrink(const VideoFrame& frame, int w, int h) {
  std::vector<uint8_t> out(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      int x0 = x * frame.width / w, x1 = (x + 1) * frame.width / w;
      int y0 = y * frame.height / h, y1 = (y + 1) * frame.height / h;
      int sum = 0;
      for (int yy = y0; yy < y1; ++yy) {
        for (int xx = x0; xx < x1; ++xx) sum += frame.y()[yy * frame.y_stride + xx];
      }
      out[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(sum / ((x1 - x0) * (y1 - y0)));
    }
  }
  return out;
}

TEST(TestPictureTest, TheCodeReadsBackAtAnySizeOfTheSameAspect) {
  VideoFrame frame = VideoFrame::Allocate(640, 480);
  DrawTestPicture(frame, kTime);
  EXPECT_EQ(ReadTestPictureTime(frame.y(), 640, 480, frame.y_stride), kTime);
  for (auto [w, h] : {std::pair{480, 360}, {320, 240}, {160, 120}}) {
    auto small = Shrink(frame, w, h);
    EXPECT_EQ(ReadTestPictureTime(small.data(), w, h, w), kTime) << w << "x" << h;
  }
}

TEST(TestPictureTest, SurvivesNoiseAndReducedContrast) {
  VideoFrame frame = VideoFrame::Allocate(640, 480);
  DrawTestPicture(frame, kTime + 1);
  std::mt19937 random(7);
  std::uniform_int_distribution<int> noise(-25, 25);
  for (int i = 0; i < 640 * 480; ++i) {
    int v = 64 + (frame.y()[i] - 16) * 100 / 219 + noise(random);
    frame.y()[i] = static_cast<uint8_t>(std::clamp(v, 0, 255));
  }
  EXPECT_EQ(ReadTestPictureTime(frame.y(), 640, 480, 640), kTime + 1);
}

TEST(TestPictureTest, OtherPicturesAndDamagedCodesReadAsNothing) {
  VideoFrame blank = VideoFrame::Allocate(480, 360);
  EXPECT_EQ(ReadTestPictureTime(blank.y(), 480, 360, 480), std::nullopt);

  VideoFrame frame = VideoFrame::Allocate(480, 360);
  DrawTestPicture(frame, kTime);
  // Flip the cell of the time's lowest bit (cell 55: row 3, column 7).
  const int x = 7 * 480 / 24 + 10, y = 3 * 360 / 18 + 10;
  const uint8_t flipped = frame.y()[y * 480 + x] > 128 ? 16 : 235;
  for (int yy = 3 * 360 / 18; yy < 4 * 360 / 18; ++yy) {
    for (int xx = 7 * 480 / 24; xx < 8 * 480 / 24; ++xx) frame.y()[yy * 480 + xx] = flipped;
  }
  EXPECT_EQ(ReadTestPictureTime(frame.y(), 480, 360, 480), std::nullopt);
  EXPECT_EQ(ReadTestPictureTime(nullptr, 480, 360, 480), std::nullopt);
  EXPECT_EQ(ReadTestPictureTime(frame.y(), 10, 10, 480), std::nullopt);
}

TEST(TestPictureTest, CrcOfTheStandardCheckString) {
  const char* check = "123456789";
  EXPECT_EQ(TestPictureCrc(reinterpret_cast<const uint8_t*>(check), 9), 0x29B1);
}

}  // namespace
}  // namespace platform
