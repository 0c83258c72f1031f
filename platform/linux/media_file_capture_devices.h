// A media file played in real time as a camera and a microphone: its first
// video track becomes the one (back) camera, its first audio track the
// microphone. One thread demuxes and decodes the file, converts pictures to
// NV12 (video range) and sound to 16-bit PCM with libavfilter, and hands each
// sample out when its time in the file has come, stamped with the moment it
// was handed out. At the end the file plays again from the start.
#pragma once

#include <memory>
#include <string>

#include "platform/capture.h"

namespace platform {

class MediaFilePlayer;

class MediaFileCaptureDevices final : public CaptureDevices {
 public:
  // Nullptr and `error` when the file cannot be read or has neither track.
  static std::unique_ptr<MediaFileCaptureDevices> Open(const std::string& path, std::string* error);
  ~MediaFileCaptureDevices() override;

  std::vector<CameraInfo> Cameras() override;
  bool HasMicrophone() override;
  std::unique_ptr<VideoCaptureSource> OpenCamera(const std::string& id,
                                                 std::string* error) override;
  std::unique_ptr<AudioCaptureSource> OpenMicrophone(std::string* error) override;

 private:
  explicit MediaFileCaptureDevices(std::shared_ptr<MediaFilePlayer> player);
  std::shared_ptr<MediaFilePlayer> player_;
};

}  // namespace platform
