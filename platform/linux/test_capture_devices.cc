#include "platform/linux/test_capture_devices.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "platform/capture_delivery.h"
#include "platform/test_picture.h"

namespace platform {
namespace {

using std::chrono::steady_clock;
using std::chrono::system_clock;

int64_t SinceEpochUs(steady_clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::microseconds>(t.time_since_epoch()).count();
}

class TestVideoSource final : public VideoCaptureSource {
 public:
  explicit TestVideoSource(CameraInfo info) : info_(std::move(info)) {}
  ~TestVideoSource() override { Stop(); }

  const CameraInfo& info() const override { return info_; }
  void SetOutput(std::shared_ptr<DispatchQueue> queue, VideoFrameHandler handler,
                 int frame_rate) override {
    delivery_.Configure(std::move(queue), std::move(handler), frame_rate);
  }
  bool Start(std::string*) override {
    if (thread_.joinable()) return true;
    delivery_.Activate();
    stop_ = false;
    thread_ = std::thread([this] { Run(); });
    return true;
  }
  void Stop() override {
    delivery_.Deactivate();
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  bool running() const override { return thread_.joinable(); }
  bool SetTorch(bool) override { return false; }
  bool SetContinuousAutoFocus() override { return false; }
  bool SetFocusPoint(double, double) override { return false; }
  Rect CleanAperture() const override {
    return Rect{0, 0, TestCaptureDevices::kWidth, TestCaptureDevices::kHeight};
  }

 private:
  void Run() {
    const int rate = delivery_.frame_rate() > 0 ? delivery_.frame_rate() : 10;
    const auto period = std::chrono::microseconds(1000000 / rate);
    auto due = steady_clock::now();
    while (!stop_) {
      std::this_thread::sleep_until(due);
      if (stop_) break;
      const auto captured = steady_clock::now();
      const int64_t wall_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  system_clock::now().time_since_epoch())
                                  .count();
      VideoFrame frame =
          VideoFrame::Allocate(TestCaptureDevices::kWidth, TestCaptureDevices::kHeight);
      frame.pts_us = SinceEpochUs(captured);
      DrawTestPicture(frame, wall_ms);
      delivery_.Deliver(frame);
      due += period;
      // After a stall, start afresh rather than bursting to catch up.
      if (steady_clock::now() > due + period) due = steady_clock::now();
    }
  }

  CameraInfo info_;
  VideoDelivery delivery_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class TestAudioSource final : public AudioCaptureSource {
 public:
  ~TestAudioSource() override { Stop(); }
  const std::string& name() const override { return name_; }
  void SetOutput(std::shared_ptr<DispatchQueue> queue, AudioSamplesHandler handler) override {
    delivery_.Configure(std::move(queue), std::move(handler));
  }
  bool Start(std::string*) override {
    if (thread_.joinable()) return true;
    delivery_.Activate();
    stop_ = false;
    thread_ = std::thread([this] { Run(); });
    return true;
  }
  void Stop() override {
    delivery_.Deactivate();
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  bool running() const override { return thread_.joinable(); }

 private:
  void Run() {
    constexpr int kBlock = TestCaptureDevices::kBlockFrames;
    constexpr int kRate = TestCaptureDevices::kSampleRate;
    const auto start = steady_clock::now();
    int64_t produced = 0;
    while (!stop_) {
      // A block is delivered once it has been "heard" in full.
      const auto due = start + std::chrono::microseconds((produced + kBlock) * 1000000 / kRate);
      std::this_thread::sleep_until(due);
      if (stop_) break;
      auto samples = std::make_shared<std::vector<int16_t>>(kBlock);
      for (int i = 0; i < kBlock; ++i) {
        const double t = static_cast<double>(produced + i) / kRate;
        (*samples)[static_cast<size_t>(i)] =
            static_cast<int16_t>(8000 * std::sin(2 * M_PI * TestCaptureDevices::kToneHz * t));
      }
      AudioSamples block;
      block.sample_rate = kRate;
      block.channels = 1;
      block.pts_us = SinceEpochUs(start) + produced * 1000000 / kRate;
      block.samples = std::move(samples);
      delivery_.Deliver(block);
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

  const std::string name_ = "Selvo test tone";
  AudioDelivery delivery_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
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
