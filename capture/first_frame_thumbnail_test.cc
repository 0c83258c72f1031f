#include "capture/first_frame_thumbnail.h"

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "platform/testing/fake_capture_devices.h"
#include "platform/testing/fake_platform.h"

namespace capture {
namespace {

using platform::MakeTestFrame;

std::array<int, 3> Rgb(const platform::Image& image, int x, int y) {
  const uint8_t* p = image.pixel(x, y);
  return {p[0], p[1], p[2]};
}

TEST(FirstFrameImageTest, VideoRangeFramesUseVideoRangeCoefficients) {
  struct Case {
    uint8_t y, cb, cr;
    bool full_range;
    std::array<int, 3> rgb;
  };
  const Case cases[] = {
      // '420v': luma 16..235 spans black to white.
      {16, 128, 128, false, {0, 0, 0}},
      {235, 128, 128, false, {255, 255, 255}},
      {126, 128, 128, false, {128, 128, 128}},
      {81, 90, 240, false, {255, 0, 0}},  // video-range red
      // '420f': luma is taken as it is.
      {16, 128, 128, true, {16, 16, 16}},
      {255, 128, 128, true, {255, 255, 255}},
  };
  for (const Case& c : cases) {
    auto frame = MakeTestFrame(640, 480, 0, c.y, 0, c.full_range);
    for (int i = 0; i < 640 * 480 / 2; i += 2) {
      frame.uv()[i] = c.cb;
      frame.uv()[i + 1] = c.cr;
    }
    auto image = FirstFrameImage(frame);
    auto rgb = Rgb(image, 10, 10);
    for (int k = 0; k < 3; ++k) {
      EXPECT_NEAR(rgb[k], c.rgb[k], 2) << int(c.y) << " full " << c.full_range << " channel " << k;
    }
    EXPECT_EQ(image.pixel(10, 10)[3], 255);
  }
}

TEST(FirstFrameImageTest, CropsToFourByThreeAndReducesByAWholeStep) {
  struct Case {
    int width, height, out_width, out_height;
  };
  const Case cases[] = {
      {1280, 720, 480, 360},   // 960 x 720 crop, step 2
      {640, 480, 640, 480},    // step 1
      {1920, 1080, 480, 360},  // 1440 x 1080, step 3
      {720, 1280, 720, 540},   // portrait: 720 x 540 crop
      {320, 240, 320, 240},
  };
  for (const Case& c : cases) {
    auto image = FirstFrameImage(MakeTestFrame(c.width, c.height, 0));
    EXPECT_EQ(image.width, c.out_width) << c.width << "x" << c.height;
    EXPECT_EQ(image.height, c.out_height) << c.width << "x" << c.height;
  }
  // The crop is centred: a mark in the middle of a 16:9 frame stays in the middle.
  auto frame = MakeTestFrame(1280, 720, 0, 16, 128);
  for (int y = 350; y < 370; ++y) {
    for (int x = 630; x < 650; ++x) frame.y()[y * 1280 + x] = 235;
  }
  auto image = FirstFrameImage(frame);
  EXPECT_EQ(Rgb(image, 240, 180)[0], 255);
  EXPECT_EQ(Rgb(image, 10, 10)[0], 0);
}

TEST(TurnThumbnailTest, QuarterTurnFitsOnABlackCanvasAndHalfTurnFlips) {
  platform::Image image = platform::Image::Filled(40, 30, 200, 200, 200);
  image.pixel(0, 0)[0] = 7;  // top left
  auto quarter = TurnThumbnail(image, ThumbnailTurn::kQuarter);
  ASSERT_EQ(quarter.width, 40);
  ASSERT_EQ(quarter.height, 30);
  EXPECT_EQ(quarter.pixel(0, 15)[0], 0);     // black band at the side
  EXPECT_EQ(quarter.pixel(20, 15)[0], 200);  // the picture in the middle
  // The content is 22 wide (30 * 30 / 40), from x = 9; the original top left is
  // now at the top right of the content.
  EXPECT_EQ(quarter.pixel(9 + 21, 0)[0], 7);
  auto half = TurnThumbnail(image, ThumbnailTurn::kHalf);
  EXPECT_EQ(half.pixel(39, 29)[0], 7);
  EXPECT_EQ(TurnThumbnail(image, ThumbnailTurn::kNone).rgba, image.rgba);
}

TEST(SaveFirstFrameImageTest, WritesTheSharedPictureAndTheThumbnail) {
  platform::FakePlatform fake;
  const std::string tmp = fake.environment.TemporaryDirectory();
  const std::string shared = tmp + "/u_firstFrame_weibo.jpg";
  const std::string thumbnail = tmp + "/x.mov.jpg";
  ASSERT_TRUE(platform::DefaultFileSystem().WriteFileAtomically(shared, "old"));
  ASSERT_TRUE(
      SaveFirstFrameImage(MakeTestFrame(1280, 720, 0), ThumbnailTurn::kNone, shared, thumbnail));
  auto& fs = platform::DefaultFileSystem();
  auto a = fs.ReadFile(shared);
  auto b = fs.ReadFile(thumbnail);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(*a, *b);
  auto decoded = platform::DefaultImageCodec().Decode(*a);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->width, 480);
  EXPECT_EQ(decoded->height, 360);
}

}  // namespace
}  // namespace capture
