// The thumbnail of a recording: its first picture, cropped to 4:3, reduced by
// a whole step to about 480 pixels across, turned to how the device was held,
// as a JPEG of quality 0.3.
#pragma once

#include <string>

#include "platform/image_codec.h"
#include "platform/media_sample.h"

namespace capture {

// Cropped to 4:3 and reduced by step b = (crop width / 480, at least 1), each
// pixel converted from Y'CbCr with the coefficients of the frame's range: a
// video-range frame ('420v') maps luma 16..235 onto 0..255, so its blacks are
// black and its whites white.
platform::Image FirstFrameImage(const platform::VideoFrame& frame);

enum class ThumbnailTurn {
  kNone,
  kQuarter,  // device held upright: the sensor's landscape picture turned upright
  kHalf,     // front camera: upside down otherwise
};

// `image` turned onto a black canvas of its own size: a quarter turn is scaled
// by height / width so that it fits.
platform::Image TurnThumbnail(const platform::Image& image, ThumbnailTurn turn);

// Converts, turns and encodes `frame`, writes it (each write atomic) to the
// first-frame picture path, after deleting what was there, and then to
// `thumbnail_path`. False when a step failed.
bool SaveFirstFrameImage(const platform::VideoFrame& frame, ThumbnailTurn turn,
                         const std::string& first_frame_path, const std::string& thumbnail_path);

}  // namespace capture
