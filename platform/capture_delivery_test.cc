#include "platform/capture_delivery.h"

#include <gtest/gtest.h>

#include "platform/testing/fake_platform.h"

namespace platform {
namespace {

VideoFrame FrameAt(int64_t us) {
  VideoFrame f = VideoFrame::Allocate(4, 4);
  f.pts_us = us;
  return f;
}

TEST(CaptureDeliveryTest, DropsLateFramesAndCapsTheFrameRate) {
  FakePlatform fake;
  auto queue = fake.dispatcher.CreateSerialQueue("cameraQueue");
  std::vector<int64_t> seen;
  VideoDelivery delivery;
  delivery.Configure(
      queue, [&](const VideoFrame& f) { seen.push_back(f.pts_us); }, 10);
  EXPECT_FALSE(delivery.Deliver(FrameAt(0)));  // not active yet
  delivery.Activate();

  // A 30 fps device, the queue served after every frame: every third frame passes.
  for (int i = 0; i < 30; ++i) {
    delivery.Deliver(FrameAt(i * 33333));
    fake.dispatcher.RunUntilIdle();
  }
  EXPECT_EQ(seen.size(), 10u);

  // The queue does not keep up: the frame after a waiting one is dropped.
  seen.clear();
  EXPECT_TRUE(delivery.Deliver(FrameAt(2000000)));
  EXPECT_FALSE(delivery.Deliver(FrameAt(2100000)));
  fake.dispatcher.RunUntilIdle();
  EXPECT_TRUE(delivery.Deliver(FrameAt(2200000)));
  fake.dispatcher.RunUntilIdle();
  EXPECT_EQ(seen, (std::vector<int64_t>{2000000, 2200000}));
}

TEST(CaptureDeliveryTest, NothingReachesTheHandlerAfterDeactivate) {
  FakePlatform fake;
  auto queue = fake.dispatcher.CreateSerialQueue("microphoneQueue");
  int calls = 0;
  AudioDelivery audio;
  audio.Configure(queue, [&](const AudioSamples&) { ++calls; });
  audio.Activate();
  AudioSamples samples;
  EXPECT_TRUE(audio.Deliver(samples));
  audio.Deactivate();  // the block is still queued
  EXPECT_FALSE(audio.Deliver(samples));
  fake.dispatcher.RunUntilIdle();
  EXPECT_EQ(calls, 0);
}

}  // namespace
}  // namespace platform
