#include "platform/linux/linux_image_codec.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace platform {
namespace {

Image Gradient(int w, int h) {
  Image image = Image::Filled(w, h, 0, 0, 0);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      uint8_t* p = image.pixel(x, y);
      p[0] = static_cast<uint8_t>(x * 255 / w);
      p[1] = static_cast<uint8_t>(y * 255 / h);
      p[2] = 128;
      p[3] = static_cast<uint8_t>((x + y) % 256);
    }
  }
  return image;
}

TEST(ImageCodecTest, PngKeepsEveryPixelAndJpegComesClose) {
  LinuxImageCodec codec;
  Image image = Gradient(64, 48);
  auto png = codec.EncodePng(image);
  ASSERT_TRUE(png);
  EXPECT_EQ(SniffImageFormat(*png), ImageFormat::kPng);
  auto back = codec.Decode(*png);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->rgba, image.rgba);

  auto jpeg = codec.EncodeJpeg(image, 0.9);
  ASSERT_TRUE(jpeg);
  EXPECT_EQ(SniffImageFormat(*jpeg), ImageFormat::kJpeg);
  auto decoded = codec.Decode(*jpeg);
  ASSERT_TRUE(decoded);
  ASSERT_EQ(decoded->width, 64);
  ASSERT_EQ(decoded->height, 48);
  const uint8_t* p = decoded->pixel(32, 24);
  EXPECT_NEAR(p[0], 127, 12);
  EXPECT_NEAR(p[1], 127, 12);
  EXPECT_EQ(p[3], 255);  // JPEG has no alpha
  // Lower quality, fewer bytes.
  EXPECT_LT(codec.EncodeJpeg(image, 0.3)->size(), jpeg->size());
}

TEST(ImageCodecTest, BadDataFailsWithAReason) {
  LinuxImageCodec codec;
  Image image = Gradient(32, 32);
  const std::string jpeg = *codec.EncodeJpeg(image, 0.5);
  const std::string png = *codec.EncodePng(image);
  struct Case {
    const char* name;
    std::string data;
  };
  std::string huge_png = png;
  // IHDR width field at offset 16: claim 30000 x 30000 (beyond the pixel limit).
  const unsigned char big[8] = {0, 0, 0x75, 0x30, 0, 0, 0x75, 0x30};
  huge_png.replace(16, 8, reinterpret_cast<const char*>(big), 8);
  const Case cases[] = {
      {"empty", ""},
      {"text", "hello, not a picture"},
      {"truncated jpeg", jpeg.substr(0, jpeg.size() / 3)},
      {"truncated png", png.substr(0, png.size() / 2)},
      {"huge png", huge_png},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(codec.Decode(c.data, &error)) << c.name;
    EXPECT_FALSE(error.empty()) << c.name;
  }
  EXPECT_FALSE(codec.EncodePng(Image{}));
  EXPECT_FALSE(codec.EncodeJpeg(Image{}, 0.5));
}

}  // namespace
}  // namespace platform
