#include "platform/testing/fake_media.h"

namespace platform {

FakeMedia::FakeMedia() {
  SetDefaultCaptureDevices(&capture);
  SetDefaultAssetWriterFactory(&writers);
}

FakeMedia::~FakeMedia() {
  SetDefaultAssetWriterFactory(nullptr);
  SetDefaultCaptureDevices(nullptr);
}

}  // namespace platform
