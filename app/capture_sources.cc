#include "app/capture_sources.h"

#include "platform/linux/media_file_capture_devices.h"
#include "platform/linux/system_capture_devices.h"
#include "platform/linux/test_capture_devices.h"

namespace app {

std::unique_ptr<platform::CaptureDevices> CaptureDevicesFor(const std::string& source,
                                                            std::string* error) {
  if (source == "test") return std::make_unique<platform::TestCaptureDevices>();
  if (source == "camera") {
    auto devices = std::make_unique<platform::SystemCaptureDevices>();
    if (devices->Cameras().empty()) {
      *error = std::string(platform::SystemCaptureDevices::kNoCamera) + "; use --source test";
      return nullptr;
    }
    if (!devices->HasMicrophone()) {
      *error = std::string(platform::SystemCaptureDevices::kNoMicrophone) + "; use --source test";
      return nullptr;
    }
    return devices;
  }
  auto devices = platform::MediaFileCaptureDevices::Open(source, error);
  if (!devices) {
    *error = "cannot play " + source + ": " + *error;
    return nullptr;
  }
  if (devices->Cameras().empty() || !devices->HasMicrophone()) {
    *error = source + " needs a video and an audio track";
    return nullptr;
  }
  return devices;
}

}  // namespace app
