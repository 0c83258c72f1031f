#include "platform/testing/fake_capture_devices.h"

#include <cstring>

namespace platform {

class FakeVideoSource final : public VideoCaptureSource {
 public:
  FakeVideoSource(FakeCaptureDevices& owner, CameraInfo info)
      : owner_(owner), info_(std::move(info)) {
    owner_.camera_states_[info_.id].open = true;
  }
  ~FakeVideoSource() override {
    Stop();
    owner_.camera_states_[info_.id].open = false;
  }
  const CameraInfo& info() const override { return info_; }
  void SetOutput(std::shared_ptr<DispatchQueue> queue, VideoFrameHandler handler,
                 int frame_rate) override {
    delivery_.Configure(std::move(queue), std::move(handler), frame_rate);
    owner_.camera_states_[info_.id].frame_rate = frame_rate;
  }
  bool Start(std::string*) override {
    delivery_.Activate();
    std::lock_guard lock(owner_.running_mutex_);
    owner_.running_cameras_[info_.id] = &delivery_;
    owner_.camera_states_[info_.id].running = true;
    return true;
  }
  void Stop() override {
    delivery_.Deactivate();
    std::lock_guard lock(owner_.running_mutex_);
    owner_.running_cameras_.erase(info_.id);
    owner_.camera_states_[info_.id].running = false;
  }
  bool running() const override {
    std::lock_guard lock(owner_.running_mutex_);
    return owner_.running_cameras_.count(info_.id) > 0;
  }
  bool SetTorch(bool on) override {
    auto& state = owner_.camera_states_[info_.id];
    ++state.torch_calls;
    if (!info_.torch_supported) return false;
    state.torch = on;
    return true;
  }
  bool SetContinuousAutoFocus() override {
    owner_.camera_states_[info_.id].continuous_focus = true;
    return true;
  }
  bool SetFocusPoint(double x, double y) override {
    if (!info_.focus_point_supported) return false;
    owner_.camera_states_[info_.id].focus_points.emplace_back(x, y);
    return true;
  }
  Rect CleanAperture() const override { return owner_.aperture; }

 private:
  FakeCaptureDevices& owner_;
  CameraInfo info_;
  VideoDelivery delivery_;
};

class FakeAudioSource final : public AudioCaptureSource {
 public:
  explicit FakeAudioSource(FakeCaptureDevices& owner) : owner_(owner) {
    owner_.microphone_open_ = true;
  }
  ~FakeAudioSource() override {
    Stop();
    owner_.microphone_open_ = false;
  }
  const std::string& name() const override { return name_; }
  void SetOutput(std::shared_ptr<DispatchQueue> queue, AudioSamplesHandler handler) override {
    delivery_.Configure(std::move(queue), std::move(handler));
  }
  bool Start(std::string*) override {
    delivery_.Activate();
    std::lock_guard lock(owner_.running_mutex_);
    owner_.running_microphone_ = &delivery_;
    owner_.microphone_running_ = true;
    return true;
  }
  void Stop() override {
    delivery_.Deactivate();
    std::lock_guard lock(owner_.running_mutex_);
    if (owner_.running_microphone_ == &delivery_) owner_.running_microphone_ = nullptr;
    owner_.microphone_running_ = false;
  }
  bool running() const override {
    std::lock_guard lock(owner_.running_mutex_);
    return owner_.running_microphone_ == &delivery_;
  }

 private:
  FakeCaptureDevices& owner_;
  const std::string name_ = "fake microphone";
  AudioDelivery delivery_;
};

FakeCaptureDevices::FakeCaptureDevices() {
  cameras.push_back(CameraInfo{"back", "Back camera", CameraPosition::kBack});
}

std::unique_ptr<VideoCaptureSource> FakeCaptureDevices::OpenCamera(const std::string& id,
                                                                   std::string* error) {
  if (unopenable.count(id)) {
    if (error) *error = "camera " + id + " is busy";
    return nullptr;
  }
  for (const CameraInfo& camera : cameras) {
    if (camera.id == id) return std::make_unique<FakeVideoSource>(*this, camera);
  }
  if (error) *error = "no camera " + id;
  return nullptr;
}

std::unique_ptr<AudioCaptureSource> FakeCaptureDevices::OpenMicrophone(std::string* error) {
  if (!microphone) {
    if (error) *error = "no microphone";
    return nullptr;
  }
  return std::make_unique<FakeAudioSource>(*this);
}

bool FakeCaptureDevices::PushVideoFrame(const VideoFrame& frame) {
  std::lock_guard lock(running_mutex_);
  bool delivered = false;
  for (auto& [id, delivery] : running_cameras_) delivered |= delivery->Deliver(frame);
  return delivered;
}

bool FakeCaptureDevices::PushAudio(const AudioSamples& samples) {
  std::lock_guard lock(running_mutex_);
  return running_microphone_ && running_microphone_->Deliver(samples);
}

VideoFrame MakeTestFrame(int width, int height, int64_t pts_us, uint8_t luma, uint8_t chroma,
                         bool full_range) {
  VideoFrame frame = VideoFrame::Allocate(width, height, full_range);
  std::memset(frame.y(), luma, static_cast<size_t>(width) * height);
  std::memset(frame.uv(), chroma, static_cast<size_t>(width) * height / 2);
  frame.pts_us = pts_us;
  return frame;
}

AudioSamples MakeTestAudio(int frames, int64_t pts_us) {
  AudioSamples samples;
  samples.sample_rate = 44100;
  samples.channels = 1;
  samples.pts_us = pts_us;
  samples.samples = std::make_shared<std::vector<int16_t>>(static_cast<size_t>(frames), 1000);
  return samples;
}

}  // namespace platform
