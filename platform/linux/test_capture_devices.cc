#include "platform/linux/test_capture_devices.h"

#include <chrono>
#include <cmath>
#include <thread>

#include "platform/linux/threaded_capture_source.h"
#include "platform/test_picture.h"

namespace platform {
namespace {

using std::chrono::steady_clock;
using std::chrono::system_clock;

class TestVideoSource final : public ThreadedVideoSource {
 public:
  explicit TestVideoSource(CameraInfo info) : ThreadedVideoSource(std::move(info)) {}
  ~TestVideoSource() override { Stop(); }
  Rect CleanAperture() const override {
    return Rect{0, 0, TestCaptureDevices::kWidth, TestCaptureDevices::kHeight};
  }

 private:
  void Run() override {
    const int rate = frame_rate() > 0 ? frame_rate() : 10;
    const auto period = std::chrono::microseconds(1000000 / rate);
    auto due = steady_clock::now();
    while (!stopping()) {
      std::this_thread::sleep_until(due);
      if (stopping()) break;
      const int64_t captured = CaptureClockNowUs();
      const int64_t wall_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  system_clock::now().time_since_epoch())
                                  .count();
      VideoFrame frame =
          VideoFrame::Allocate(TestCaptureDevices::kWidth, TestCaptureDevices::kHeight);
      frame.pts_us = captured;
      DrawTestPicture(frame, wall_ms);
      Deliver(frame);
      due += period;
      // After a stall, start afresh rather than bursting to catch up.
      if (steady_clock::now() > due + period) due = steady_clock::now();
    }
  }
};

class TestAudioSource final : public ThreadedAudioSource {
 public:
  TestAudioSource() : ThreadedAudioSource("Selvo test tone") {}
  ~TestAudioSource() override { Stop(); }

 private:
  void Run() override {
    constexpr int kBlock = TestCaptureDevices::kBlockFrames;
    constexpr int kRate = TestCaptureDevices::kSampleRate;
    const auto start = steady_clock::now();
    const int64_t start_us = CaptureClockNowUs();
    int64_t produced = 0;
    while (!stopping()) {
      // A block is delivered once it has been "heard" in full.
      const auto due = start + std::chrono::microseconds((produced + kBlock) * 1000000 / kRate);
      std::this_thread::sleep_until(due);
      if (stopping()) break;
      auto samples = std::make_shared<std::vector<int16_t>>(kBlock);
      for (int i = 0; i < kBlock; ++i) {
        const double t = static_cast<double>(produced + i) / kRate;
        (*samples)[static_cast<size_t>(i)] =
            static_cast<int16_t>(8000 * std::sin(2 * M_PI * TestCaptureDevices::kToneHz * t));
      }
      AudioSamples block;
      block.sample_rate = kRate;
      block.channels = 1;
      block.pts_us = start_us + produced * 1000000 / kRate;
      block.samples = std::move(samples);
      Deliver(block);
      produced += kBlock;
      if (steady_clock::now() > due + std::chrono::milliseconds(500)) {
        // Fell far behind (a stopped process): skip ahead instead of bursting.
        produced =
            std::chrono::duration_cast<std::chrono::microseconds>(steady_clock::now() - start)
                .count() *
            kRate / 1000000;
      }
    }
  }
};

}  // namespace

std::vector<CameraInfo> TestCaptureDevices::Cameras() {
  std::vector<CameraInfo> cameras{{"test-back", "Selvo test camera", CameraPosition::kBack}};
  if (front_camera_) {
    cameras.push_back({"test-front", "Selvo test camera (front)", CameraPosition::kFront});
  }
  return cameras;
}

std::unique_ptr<VideoCaptureSource> TestCaptureDevices::OpenCamera(const std::string& id,
                                                                   std::string* error) {
  for (const CameraInfo& camera : Cameras()) {
    if (camera.id == id) return std::make_unique<TestVideoSource>(camera);
  }
  if (error) *error = "no test camera " + id;
  return nullptr;
}

std::unique_ptr<AudioCaptureSource> TestCaptureDevices::OpenMicrophone(std::string*) {
  return std::make_unique<TestAudioSource>();
}

}  // namespace platform
