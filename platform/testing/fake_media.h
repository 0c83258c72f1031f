// FakeMedia: installs the media test doubles (capture devices and asset
// writers) for the life of a test, next to FakePlatform. The image codec and
// the image generator stay the real ones: they are deterministic.
#pragma once

#include "platform/testing/fake_asset_writer.h"
#include "platform/testing/fake_capture_devices.h"

namespace platform {

class FakeMedia {
 public:
  FakeMedia();
  ~FakeMedia();
  FakeMedia(const FakeMedia&) = delete;
  FakeMedia& operator=(const FakeMedia&) = delete;

  FakeCaptureDevices capture;
  FakeAssetWriterFactory writers;
};

}  // namespace platform
