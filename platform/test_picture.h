// The built-in test camera's picture: moving colour bars and a bouncing box,
// the capture time in readable digits (local time, "HH:MM:SS.mmm"), and the
// same time as a machine-readable code, so that a program that decodes frames
// anywhere downstream (the recording, the served playlist) learns when each
// one was captured.
//
// The code: the picture is divided into a grid of 24 columns by 18 rows of
// cells (cell i spans [i*W/24, (i+1)*W/24) across, likewise down). Rows 1 to 3,
// read left to right and top to bottom, hold 72 cells, each white (a 1) or
// black (a 0):
//   cells  0..7   the marker 1011 0010
//   cells  8..55  the capture time: milliseconds since 1970-01-01 UTC, 48 bits,
//                 most significant first
//   cells 56..71  CRC-16 (polynomial 0x1021, initial 0xFFFF, no reflection) of
//                 those six bytes, most significant bit first
// Rows 0 and 4 are black. Because the code is laid out in fractions of the
// picture, it survives scaling to any size of the same 4:3 aspect and lossy
// compression; reading takes the middle of each cell and a threshold halfway
// between the marker's black and white cells.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/media_sample.h"

namespace platform {

inline constexpr int kTestPictureColumns = 24;
inline constexpr int kTestPictureRows = 18;

// Draws the whole picture for a frame captured at `wall_ms` into `frame`
// (NV12, video range; any even size, 4:3 reads best).
void DrawTestPicture(VideoFrame& frame, int64_t wall_ms);

// The capture time coded in a picture's luma plane, or nullopt when no valid
// code is there (another picture, a zoomed or cropped one, a damaged code).
std::optional<int64_t> ReadTestPictureTime(const uint8_t* luma, int width, int height, int stride);

// The CRC of the code.
uint16_t TestPictureCrc(const uint8_t* data, int length);

}  // namespace platform
