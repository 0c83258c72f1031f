// Stills out of movie files through libavformat, libavcodec and libswscale.
#pragma once

#include "platform/asset_image_generator.h"

namespace platform {

class FfmpegImageGenerator final : public AssetImageGenerator {
 public:
  bool HasVideoTrack(const std::string& path) override;
  std::optional<Image> CopyImageAt(const std::string& path, double seconds, int max_width,
                                   int max_height, std::string* error = nullptr) override;
};

// `image` turned counter-clockwise by a multiple of 90 degrees.
Image RotateImage(const Image& image, int counter_clockwise_degrees);

}  // namespace platform
