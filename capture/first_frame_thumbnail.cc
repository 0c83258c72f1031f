#include "capture/first_frame_thumbnail.h"

#include <algorithm>
#include <cstring>

#include "platform/file_system.h"
#include "platform/log.h"

namespace capture {
namespace {

uint8_t Clamp(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

}  // namespace

platform::Image FirstFrameImage(const platform::VideoFrame& frame) {
  platform::Image image;
  if (!frame.valid()) return image;
  int crop_w = frame.width, crop_h = frame.height;
  if (4 * frame.height < 3 * frame.width) {
    crop_w = 4 * frame.height / 3;
  } else if (4 * frame.height > 3 * frame.width) {
    crop_h = 3 * frame.width / 4;
  }
  const int x0 = ((frame.width - crop_w) / 2) & ~1;
  const int y0 = ((frame.height - crop_h) / 2) & ~1;
  const int step = crop_w >= 480 ? crop_w / 480 : 1;
  image.width = crop_w / step;
  image.height = crop_h / step;
  image.rgba.resize(static_cast<size_t>(image.width) * image.height * 4);
  for (int oy = 0; oy < image.height; ++oy) {
    const int sy = y0 + oy * step;
    const uint8_t* luma = frame.y() + static_cast<size_t>(sy) * frame.y_stride;
    const uint8_t* chroma = frame.uv() + static_cast<size_t>(sy / 2) * frame.uv_stride;
    for (int ox = 0; ox < image.width; ++ox) {
      const int sx = x0 + ox * step;
      const int y = luma[sx];
      const int cb = chroma[(sx / 2) * 2];
      const int cr = chroma[(sx / 2) * 2 + 1];
      const int cb1 = cb - 128, cr1 = cr - 128;
      uint8_t* p = image.pixel(ox, oy);
      if (frame.full_range) {
        p[2] = Clamp(y + cb1 + ((cb1 * 198) >> 8));
        p[1] = Clamp(y - ((cb1 * 88) >> 8) - ((cr * 183 - 23424) >> 8));
        p[0] = Clamp(y + cr + ((cr * 103 - 13184) >> 8) - 128);
      } else {
        // ITU-R BT.601, video range.
        const int c = 298 * (y - 16);
        p[0] = Clamp((c + 409 * cr1 + 128) >> 8);
        p[1] = Clamp((c - 100 * cb1 - 208 * cr1 + 128) >> 8);
        p[2] = Clamp((c + 516 * cb1 + 128) >> 8);
      }
      p[3] = 255;
    }
  }
  return image;
}

platform::Image TurnThumbnail(const platform::Image& in, ThumbnailTurn turn) {
  if (turn == ThumbnailTurn::kNone || !in.valid()) return in;
  platform::Image out = platform::Image::Filled(in.width, in.height, 0, 0, 0);
  const int w = in.width, h = in.height;
  if (turn == ThumbnailTurn::kHalf) {
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) std::memcpy(out.pixel(x, y), in.pixel(w - 1 - x, h - 1 - y), 4);
    }
    return out;
  }
  // A quarter turn clockwise makes an h x w picture; scaled by h / w it is
  // (h * h / w) x h and sits in the middle of the canvas.
  const int content_w = std::max(1, h * h / w);
  const int left = (w - content_w) / 2;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < content_w; ++x) {
      // Position in the turned picture (h wide, w high), then in the original.
      const int tx = (2 * x + 1) * h / (2 * content_w);
      const int ty = (2 * y + 1) * w / (2 * h);
      const int sx = std::clamp(ty, 0, w - 1);
      const int sy = std::clamp(h - 1 - tx, 0, h - 1);
      std::memcpy(out.pixel(left + x, y), in.pixel(sx, sy), 4);
    }
  }
  return out;
}

bool SaveFirstFrameImage(const platform::VideoFrame& frame, ThumbnailTurn turn,
                         const std::string& first_frame_path, const std::string& thumbnail_path) {
  platform::Image image = TurnThumbnail(FirstFrameImage(frame), turn);
  std::string error;
  auto jpeg = platform::DefaultImageCodec().EncodeJpeg(image, 0.3, &error);
  if (!jpeg) {
    platform::Logf("Save first frame failed: %s", error.c_str());
    return false;
  }
  auto& fs = platform::DefaultFileSystem();
  fs.RemoveFile(first_frame_path);
  if (!fs.WriteFileAtomically(first_frame_path, *jpeg, 0644, &error) ||
      !fs.WriteFileAtomically(thumbnail_path, *jpeg, 0644, &error)) {
    platform::Logf("Save first frame failed: %s", error.c_str());
    return false;
  }
  return true;
}

}  // namespace capture
