// AssetImageGenerator: still pictures out of a movie file, in the manner of the
// phone platform's image generator: the frame at (or nearest before) a time,
// turned by the track's display transform and scaled to fit a maximum size.
#pragma once

#include <optional>
#include <string>

#include "platform/image_codec.h"

namespace platform {

class AssetImageGenerator {
 public:
  virtual ~AssetImageGenerator() = default;
  // True when the file can be read and has at least one video track.
  virtual bool HasVideoTrack(const std::string& path) = 0;
  // The picture shown at `seconds` (the last one when the movie is shorter),
  // at most `max_width` x `max_height` with its aspect kept; nullopt and `error`
  // when there is none.
  virtual std::optional<Image> CopyImageAt(const std::string& path, double seconds, int max_width,
                                           int max_height, std::string* error = nullptr) = 0;
};

// FFmpeg's libraries unless another generator was installed (nullptr restores it).
AssetImageGenerator& DefaultAssetImageGenerator();
void SetDefaultAssetImageGenerator(AssetImageGenerator* generator);

}  // namespace platform
