// The built-in test camera and microphone in real time (a short while).
#include "platform/linux/test_capture_devices.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "platform/linux/linux_dispatcher.h"
#include "platform/test_picture.h"

namespace platform {
namespace {

int64_t WallMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

TEST(TestCaptureDevicesTest, TenPicturesASecondShowingTheirCaptureTimeAndATone) {
  LinuxDispatcher dispatcher(1);
  TestCaptureDevices devices;
  ASSERT_EQ(devices.Cameras().size(), 1u);
  EXPECT_EQ(devices.Cameras()[0].position, CameraPosition::kBack);
  auto camera = devices.OpenCamera("test-back", nullptr);
  auto microphone = devices.OpenMicrophone(nullptr);
  ASSERT_TRUE(camera && microphone);

  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::pair<int64_t, std::optional<int64_t>>> seen;  // delivery time, code
  int64_t audio_frames = 0;
  camera->SetOutput(
      dispatcher.CreateSerialQueue("cameraQueue"),
      [&](const VideoFrame& f) {
        auto t = ReadTestPictureTime(f.y(), f.width, f.height, f.y_stride);
        std::lock_guard lock(mutex);
        seen.emplace_back(WallMs(), t);
        changed.notify_all();
      },
      10);
  microphone->SetOutput(dispatcher.CreateSerialQueue("microphoneQueue"),
                        [&](const AudioSamples& s) {
                          std::lock_guard lock(mutex);
                          audio_frames += s.frames();
                        });
  ASSERT_TRUE(camera->Start(nullptr));
  ASSERT_TRUE(microphone->Start(nullptr));
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(5), [&] { return seen.size() >= 8; }));
  }
  camera->Stop();
  microphone->Stop();
  std::lock_guard lock(mutex);
  for (const auto& [delivered, code] : seen) {
    ASSERT_TRUE(code);
    EXPECT_LE(*code, delivered);
    EXPECT_LT(delivered - *code, 500);
  }
  const int64_t span = *seen.back().second - *seen.front().second;
  EXPECT_NEAR(static_cast<double>(span) / static_cast<double>(seen.size() - 1), 100, 30);
  EXPECT_GT(audio_frames, 44100 / 4);
}

}  // namespace
}  // namespace platform
