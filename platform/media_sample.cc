#include "platform/media_sample.h"

namespace platform {

VideoFrame VideoFrame::Allocate(int width, int height, bool full_range) {
  VideoFrame frame;
  frame.width = width;
  frame.height = height;
  frame.y_stride = width;
  frame.uv_stride = width;
  frame.full_range = full_range;
  const size_t luma = static_cast<size_t>(width) * height;
  frame.buffer = std::make_shared<std::vector<uint8_t>>(luma + luma / 2);
  std::fill(frame.buffer->begin(), frame.buffer->begin() + static_cast<long>(luma),
            full_range ? 0 : 16);
  std::fill(frame.buffer->begin() + static_cast<long>(luma), frame.buffer->end(), 128);
  return frame;
}

VideoFrame VideoFrame::Clone() const {
  VideoFrame copy = *this;
  if (buffer) copy.buffer = std::make_shared<std::vector<uint8_t>>(*buffer);
  return copy;
}

}  // namespace platform
