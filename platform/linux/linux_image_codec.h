// JPEG through libjpeg-turbo and PNG through libpng.
#pragma once

#include "platform/image_codec.h"

namespace platform {

class LinuxImageCodec final : public ImageCodec {
 public:
  std::optional<Image> Decode(std::string_view data, std::string* error = nullptr) override;
  std::optional<std::string> EncodeJpeg(const Image& image, double quality,
                                        std::string* error = nullptr) override;
  std::optional<std::string> EncodePng(const Image& image, std::string* error = nullptr) override;
};

}  // namespace platform
