// The built-in test camera and microphone, for machines without devices, for
// tests and demos. The camera draws the test picture (platform/test_picture.h)
// with the time of each capture, 640x480 at the output's frame rate; the
// microphone plays a 440 Hz tone, 44100 Hz mono in blocks of 1024 samples.
// Both run in real time on threads of their own.
#pragma once

#include "platform/capture.h"

namespace platform {

class TestCaptureDevices final : public CaptureDevices {
 public:
  // With `front_camera`, a second test camera faces the user.
  explicit TestCaptureDevices(bool front_camera = false) : front_camera_(front_camera) {}

  std::vector<CameraInfo> Cameras() override;
  bool HasMicrophone() override { return true; }
  std::unique_ptr<VideoCaptureSource> OpenCamera(const std::string& id,
                                                 std::string* error) override;
  std::unique_ptr<AudioCaptureSource> OpenMicrophone(std::string* error) override;

  static constexpr int kWidth = 640;
  static constexpr int kHeight = 480;
  static constexpr int kSampleRate = 44100;
  static constexpr int kBlockFrames = 1024;
  static constexpr double kToneHz = 440;

 private:
  const bool front_camera_;
};

}  // namespace platform
