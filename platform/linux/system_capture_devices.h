// The machine's capture devices through libavdevice: V4L2 cameras
// (/dev/video*; the first one counts as the back camera, a second one as the
// front camera) and the default microphone of PulseAudio or, without a Pulse
// server, of ALSA. Pictures are converted to NV12 (video range) with
// libswscale and stamped with the monotonic time at which they were read.
#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "platform/capture.h"

namespace platform {

class SystemCaptureDevices final : public CaptureDevices {
 public:
  std::vector<CameraInfo> Cameras() override;
  bool HasMicrophone() override;
  std::unique_ptr<VideoCaptureSource> OpenCamera(const std::string& id,
                                                 std::string* error) override;
  std::unique_ptr<AudioCaptureSource> OpenMicrophone(std::string* error) override;

  // Why Cameras() or HasMicrophone() came out empty, in words for the user.
  static constexpr char kNoCamera[] =
      "no camera found: this machine has no V4L2 video capture device (/dev/video*)";
  static constexpr char kNoMicrophone[] =
      "no microphone found: neither PulseAudio nor ALSA offers a capture device";

 private:
  struct Microphone {
    std::string format;  // "pulse" or "alsa"
    std::string device;
  };
  std::optional<Microphone> FindMicrophone();
};

}  // namespace platform
