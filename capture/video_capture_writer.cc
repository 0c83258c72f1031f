#include "capture/video_capture_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "capture/recording_files.h"
#include "platform/log.h"

namespace capture {
namespace {

double TruncateTwoDecimals(double v) { return std::floor(v * 100.0 + 1e-9) / 100.0; }

}  // namespace

double VideoCaptureWriter::OrientationAngle(int orientation) {
  switch (orientation) {
    case 2:
      return M_PI;
    case 3:
      return -M_PI_2;
    case 4:
      return M_PI_2;
    default:
      return 0;
  }
}

platform::VideoOutputSettings VideoCaptureWriter::Settings(double rotation_radians) {
  platform::VideoOutputSettings settings;
  settings.width = 480;
  settings.height = 360;
  settings.average_bit_rate = 200000;
  settings.max_key_frame_interval = 10;
  settings.frame_rate = 10;
  settings.rotation_radians = rotation_radians;
  settings.expects_media_data_in_real_time = true;
  return settings;
}

void VideoCaptureWriter::SetDeviceOrientation(int orientation) {
  device_orientation_.store(orientation);
  if (orientation >= 1 && orientation <= 4) reference_orientation_.store(orientation);
}

bool VideoCaptureWriter::StartWriting(const std::string& path) {
  if (!CreateWriter(path)) return false;
  save_first_frame_image_ = true;
  const double rotation = OrientationAngle(reference_orientation_.load()) -
                          OrientationAngle(origin_orientation_.load());
  if (!asset_writer_->AddVideoInput(Settings(rotation))) {
    platform::Log("Couldn't apply video output settings.");
    ShowError(asset_writer_->error());
    DropWriter();
    save_first_frame_image_ = false;
    return false;
  }
  return true;
}

bool VideoCaptureWriter::StopWriting() {
  save_first_frame_image_ = false;
  return CaptureWriter::StopWriting();
}

void VideoCaptureWriter::ProposeScaleFactor(float factor) {
  const double scaled =
      std::clamp(static_cast<double>(frame_scale_factor_.load()) * factor, 1.0, 4.0);
  frame_scale_factor_.store(static_cast<float>(scaled));
  round_frame_scale_factor_.store(static_cast<float>(TruncateTwoDecimals(scaled)));
}

ThumbnailTurn VideoCaptureWriter::TurnForThumbnail() const {
  const int device = device_orientation_.load();
  if (device == 1 || device == 5 || device == 6) return ThumbnailTurn::kQuarter;
  if (front_camera_.load()) return ThumbnailTurn::kHalf;
  return ThumbnailTurn::kNone;
}

platform::VideoFrame VideoCaptureWriter::ResampleVideoBuffer(const platform::VideoFrame& frame) {
  if (!frame.valid()) return {};
  const double zoom = round_frame_scale_factor_.load();
  const bool gray = gray_filter_.load();
  if (zoom <= 1.0000001) {
    if (!gray) return frame;
    // The preview may be showing this very picture: filter a copy.
    platform::VideoFrame copy = frame.Clone();
    for (int y = 0; y < copy.height / 2; ++y) {
      std::memset(copy.uv() + static_cast<size_t>(y) * copy.uv_stride, 128, copy.width);
    }
    return copy;
  }
  const double x = TruncateTwoDecimals(frame.height / (zoom * 360.0));
  const int width = static_cast<int>(x * 480) & ~3;
  const int height = static_cast<int>(x * 360) & ~3;
  if (width <= 0 || height <= 0) return {};
  // A picture smaller than the zoomed region (a narrow one) is written as it is.
  if (width > frame.width || height > frame.height) {
    platform::VideoFrame copy = gray ? frame.Clone() : frame;
    for (int y = 0; gray && y < copy.height / 2; ++y) {
      std::memset(copy.uv() + static_cast<size_t>(y) * copy.uv_stride, 128, copy.width);
    }
    return copy;
  }
  if (!pixel_buffer_.valid() || pixel_buffer_.width != width || pixel_buffer_.height != height ||
      pixel_buffer_.full_range != frame.full_range || pixel_buffer_.buffer.use_count() > 1) {
    pixel_buffer_ = platform::VideoFrame::Allocate(width, height, frame.full_range);
  }
  platform::VideoFrame out = pixel_buffer_;
  out.pts_us = frame.pts_us;
  const int x0 = ((frame.width - width) / 2) & ~1;
  const int y0 = ((frame.height - height) / 2) & ~1;
  for (int row = 0; row < height; ++row) {
    std::memcpy(out.y() + static_cast<size_t>(row) * out.y_stride,
                frame.y() + static_cast<size_t>(y0 + row) * frame.y_stride + x0, width);
  }
  for (int row = 0; row < height / 2; ++row) {
    uint8_t* dst = out.uv() + static_cast<size_t>(row) * out.uv_stride;
    if (gray) {
      std::memset(dst, 128, width);
    } else {
      std::memcpy(dst, frame.uv() + static_cast<size_t>(y0 / 2 + row) * frame.uv_stride + x0,
                  width);
    }
  }
  return out;
}

void VideoCaptureWriter::DidOutputSampleBuffer(const platform::VideoFrame& frame) {
  if (!asset_writer_) return;
  platform::VideoFrame picture = ResampleVideoBuffer(frame);
  if (!picture.valid()) return;
  if (save_first_frame_image_) {
    save_first_frame_image_ = false;
    SaveFirstFrameImage(picture, TurnForThumbnail(), RecordingFiles::FirstFrameImagePath(),
                        RecordingFiles::ThumbnailPath(output_path_));
  }
  if (!ReadyForSample(picture.pts_us)) return;
  if (!asset_writer_->AppendVideo(picture)) ShowError(asset_writer_->error());
}

}  // namespace capture
