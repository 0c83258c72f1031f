// ImageCodec: JPEG and PNG to and from 8-bit RGBA pictures. Decoding takes
// untrusted bytes (downloaded avatars and thumbnails), so it refuses pictures
// larger than kMaxImagePixels instead of allocating without bound.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Non-premultiplied RGBA, four bytes a pixel, rows without padding.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgba;

  static Image Filled(int width, int height, uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255);
  bool valid() const {
    return width > 0 && height > 0 && rgba.size() == static_cast<size_t>(width) * height * 4;
  }
  uint8_t* pixel(int x, int y) { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
  const uint8_t* pixel(int x, int y) const {
    return &rgba[(static_cast<size_t>(y) * width + x) * 4];
  }
};

enum class ImageFormat { kUnknown, kJpeg, kPng };

inline constexpr int64_t kMaxImagePixels = 40 * 1000 * 1000;

class ImageCodec {
 public:
  virtual ~ImageCodec() = default;
  // Decodes by content (a ".jpg" file may hold PNG data and the other way round).
  virtual std::optional<Image> Decode(std::string_view data, std::string* error = nullptr) = 0;
  // `quality` 0.0 (smallest) to 1.0 (best), as the platform takes it.
  virtual std::optional<std::string> EncodeJpeg(const Image& image, double quality,
                                                std::string* error = nullptr) = 0;
  virtual std::optional<std::string> EncodePng(const Image& image,
                                               std::string* error = nullptr) = 0;
};

// What the first bytes say the data is.
ImageFormat SniffImageFormat(std::string_view data);

// libjpeg-turbo and libpng unless another codec was installed (nullptr restores it).
ImageCodec& DefaultImageCodec();
void SetDefaultImageCodec(ImageCodec* codec);

}  // namespace platform
