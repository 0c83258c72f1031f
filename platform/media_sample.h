// Media samples as capture delivers them and the writers take them: NV12
// pictures and interleaved 16-bit PCM, each stamped with its capture time.
//
// Copies share the sample's memory (the platform's retain); a stage that wants
// to change a picture makes its own copy first (Clone), because the preview and
// the writer may be looking at the same one.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

namespace platform {

// A bi-planar 4:2:0 picture: a luma plane, then one plane of interleaved Cb/Cr
// pairs at half the resolution in both directions. Width and height are even.
struct VideoFrame {
  int width = 0;
  int height = 0;
  int y_stride = 0;
  int uv_stride = 0;
  // false: video range, luma 16..235 ('420v', what cameras deliver);
  // true: full range, luma 0..255 ('420f').
  bool full_range = false;
  // Capture time on the monotonic clock, microseconds.
  int64_t pts_us = 0;
  std::shared_ptr<std::vector<uint8_t>> buffer;

  // A black picture of the given (even) size with tight strides.
  static VideoFrame Allocate(int width, int height, bool full_range = false);
  // A deep copy.
  VideoFrame Clone() const;

  bool valid() const { return buffer && width > 0 && height > 0; }
  uint8_t* y() { return buffer->data(); }
  const uint8_t* y() const { return buffer->data(); }
  uint8_t* uv() { return buffer->data() + static_cast<size_t>(y_stride) * height; }
  const uint8_t* uv() const { return buffer->data() + static_cast<size_t>(y_stride) * height; }
};

// Interleaved signed 16-bit PCM.
struct AudioSamples {
  int sample_rate = 0;
  int channels = 0;
  // Capture time of the first sample on the monotonic clock, microseconds.
  int64_t pts_us = 0;
  std::shared_ptr<const std::vector<int16_t>> samples;

  int frames() const {
    return samples && channels > 0 ? static_cast<int>(samples->size()) / channels : 0;
  }
};

}  // namespace platform
