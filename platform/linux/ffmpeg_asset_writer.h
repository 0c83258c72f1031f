// The asset writer on FFmpeg's libraries: H.264 through libx264 and AAC LC
// through libavcodec's own encoder, each into a QuickTime movie ("mov" muxer)
// whose media data box grows with every sample and whose movie box is written
// at the end.
//
// Video: the picture is cropped to the output's aspect (aspect fill) and
// scaled with libswscale; x264 runs one thread, one slice a frame, no B-frames
// and no look-ahead, so each frame leaves the encoder as soon as it went in
// and every sample of the file is a single slice NAL unit (x264's one
// informational SEI is left out). Audio: any PCM rate and channel count is
// resampled and framed by libavfilter; perceptual noise substitution is off.
#pragma once

#include <memory>
#include <string>

#include "platform/asset_writer.h"

namespace platform {

class FfmpegAssetWriterFactory final : public AssetWriterFactory {
 public:
  std::unique_ptr<AssetWriter> CreateWriter(const std::string& path, std::string* error) override;
};

}  // namespace platform
