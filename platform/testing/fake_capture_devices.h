// FakeCaptureDevices: cameras and a microphone that deliver exactly what the
// test pushes, through the same output rules as the real sources (queue hop,
// late frames dropped, frame-rate cap), so that with the manual dispatcher a
// test decides when every sample arrives.
#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/capture.h"
#include "platform/capture_delivery.h"

namespace platform {

class FakeCaptureDevices final : public CaptureDevices {
 public:
  // One back camera without a torch, and a microphone.
  FakeCaptureDevices();

  std::vector<CameraInfo> Cameras() override { return cameras; }
  bool HasMicrophone() override { return microphone; }
  std::unique_ptr<VideoCaptureSource> OpenCamera(const std::string& id,
                                                 std::string* error) override;
  std::unique_ptr<AudioCaptureSource> OpenMicrophone(std::string* error) override;

  // Delivers to the running camera / microphone; false when none runs or the
  // frame was dropped.
  bool PushVideoFrame(const VideoFrame& frame);
  bool PushAudio(const AudioSamples& samples);

  // The state of the sources (by camera id) as the code under test left it.
  struct CameraState {
    bool open = false;
    bool running = false;
    bool torch = false;
    bool continuous_focus = false;
    int torch_calls = 0;
    int frame_rate = 0;
    std::vector<std::pair<double, double>> focus_points;
  };
  const CameraState& camera_state(const std::string& id) { return camera_states_[id]; }
  bool microphone_open() const { return microphone_open_; }
  bool microphone_running() const { return microphone_running_; }

  // Configuration.
  std::vector<CameraInfo> cameras;
  bool microphone = true;
  std::set<std::string> unopenable;  // camera ids whose OpenCamera fails
  Rect aperture{0, 0, 1280, 720};

 private:
  friend class FakeVideoSource;
  friend class FakeAudioSource;
  std::map<std::string, CameraState> camera_states_;
  // The sources start and stop on the code's queues while a test may push from
  // its own thread.
  std::mutex running_mutex_;
  std::map<std::string, VideoDelivery*> running_cameras_;
  AudioDelivery* running_microphone_ = nullptr;
  bool microphone_open_ = false;
  bool microphone_running_ = false;
};

// A frame of the given size whose luma is `luma` everywhere and chroma `chroma`.
VideoFrame MakeTestFrame(int width, int height, int64_t pts_us, uint8_t luma = 100,
                         uint8_t chroma = 90, bool full_range = false);
// `frames` mono samples at 44100 Hz.
AudioSamples MakeTestAudio(int frames, int64_t pts_us);

}  // namespace platform
