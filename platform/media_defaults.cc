// The process-wide media ports: the Linux implementations unless a test or the
// executable installed others.
#include <algorithm>
#include <atomic>

#include "platform/asset_image_generator.h"
#include "platform/asset_writer.h"
#include "platform/capture.h"
#include "platform/image_codec.h"
#include "platform/linux/ffmpeg_asset_writer.h"
#include "platform/linux/ffmpeg_image_generator.h"
#include "platform/linux/linux_image_codec.h"
#include "platform/linux/system_capture_devices.h"

namespace platform {
namespace {

std::atomic<CaptureDevices*> g_capture{nullptr};
std::atomic<AssetWriterFactory*> g_writers{nullptr};
std::atomic<ImageCodec*> g_codec{nullptr};
std::atomic<AssetImageGenerator*> g_generator{nullptr};

template <typename Port, typename Machine>
Port& Installed(std::atomic<Port*>& slot) {
  if (Port* p = slot.load(std::memory_order_acquire)) return *p;
  static Machine* machine = new Machine();  // never destroyed: used until exit
  return *machine;
}

}  // namespace

CaptureDevices& DefaultCaptureDevices() {
  return Installed<CaptureDevices, SystemCaptureDevices>(g_capture);
}
void SetDefaultCaptureDevices(CaptureDevices* devices) { g_capture.store(devices); }

AssetWriterFactory& DefaultAssetWriterFactory() {
  return Installed<AssetWriterFactory, FfmpegAssetWriterFactory>(g_writers);
}
void SetDefaultAssetWriterFactory(AssetWriterFactory* factory) { g_writers.store(factory); }

ImageCodec& DefaultImageCodec() { return Installed<ImageCodec, LinuxImageCodec>(g_codec); }
void SetDefaultImageCodec(ImageCodec* codec) { g_codec.store(codec); }

AssetImageGenerator& DefaultAssetImageGenerator() {
  return Installed<AssetImageGenerator, FfmpegImageGenerator>(g_generator);
}
void SetDefaultAssetImageGenerator(AssetImageGenerator* generator) { g_generator.store(generator); }

ImageFormat SniffImageFormat(std::string_view data) {
  static constexpr unsigned char kPng[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (data.size() >= 3 && static_cast<unsigned char>(data[0]) == 0xFF &&
      static_cast<unsigned char>(data[1]) == 0xD8 && static_cast<unsigned char>(data[2]) == 0xFF) {
    return ImageFormat::kJpeg;
  }
  if (data.size() >= 8 &&
      std::equal(kPng, kPng + 8, reinterpret_cast<const unsigned char*>(data.data()))) {
    return ImageFormat::kPng;
  }
  return ImageFormat::kUnknown;
}

Image Image::Filled(int width, int height, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  Image image;
  image.width = width;
  image.height = height;
  image.rgba.resize(static_cast<size_t>(width) * height * 4);
  for (size_t i = 0; i < image.rgba.size(); i += 4) {
    image.rgba[i] = r;
    image.rgba[i + 1] = g;
    image.rgba[i + 2] = b;
    image.rgba[i + 3] = a;
  }
  return image;
}

}  // namespace platform
