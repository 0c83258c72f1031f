// VideoCaptureWriter: writes the camera's pictures into the video-only
// recording file (H.264, 480x360, 200 kbit/s, a key frame at least every 10
// frames, QuickTime), after the digital zoom and the gray filter, and saves
// the first picture of each recording as its thumbnail.
//
// The zoom factor, the gray filter and the front-camera flag are set from the
// main thread while pictures pass on the writing queue, so they are atomic.
#pragma once

#include <atomic>

#include "capture/capture_writer.h"
#include "capture/first_frame_thumbnail.h"
#include "platform/media_sample.h"

namespace capture {

class VideoCaptureWriter final : public CaptureWriter {
 public:
  VideoCaptureWriter() : CaptureWriter("video") {}

  void InitMediaWriter() {}
  // Creates the writer and its input for `path` (the track turned by the
  // reference orientation against the sensor's); true when both were made.
  bool StartWriting(const std::string& path);
  // One camera picture: zoomed and filtered, the thumbnail taken from the
  // first one, appended. Nothing without a writer.
  void DidOutputSampleBuffer(const platform::VideoFrame& frame);
  // Stops; the thumbnail is no longer awaited.
  bool StopWriting();

  // Digital zoom: the factor is multiplied by `factor`, kept within 1.0..4.0,
  // and its rounded value (down to two decimals) is what applies.
  void ProposeScaleFactor(float factor);
  float scale_factor() const { return round_frame_scale_factor_.load(); }

  void SwitchFilter() { gray_filter_.store(!gray_filter_.load()); }
  bool gray_filter() const { return gray_filter_.load(); }
  void set_gray_filter(bool on) { gray_filter_.store(on); }
  bool front_camera() const { return front_camera_.load(); }
  void set_front_camera(bool front) { front_camera_.store(front); }

  // Orientations: 1 portrait, 2 upside down, 3 landscape right, 4 landscape
  // left (5 face up, 6 face down for the device). The device's orientation
  // becomes the reference orientation when it is one of 1 to 4.
  void SetDeviceOrientation(int orientation);
  int reference_orientation() const { return reference_orientation_.load(); }
  void set_origin_orientation(int orientation) { origin_orientation_.store(orientation); }
  // Angle of an orientation from portrait: 0, pi, -pi/2, pi/2; 0 for others.
  static double OrientationAngle(int orientation);

  // The picture as it is written: with zoom above 1, the centred region of
  // (x * 480) x (x * 360), rounded down to multiples of 4, where x = height /
  // (zoom * 360) truncated to two decimals; with the gray filter, chroma 128.
  // An invalid frame means the picture is dropped.
  platform::VideoFrame ResampleVideoBuffer(const platform::VideoFrame& frame);

  static platform::VideoOutputSettings Settings(double rotation_radians);

 private:
  ThumbnailTurn TurnForThumbnail() const;

  bool save_first_frame_image_ = false;
  platform::VideoFrame pixel_buffer_;  // reused while nobody else holds it
  std::atomic<float> frame_scale_factor_{1.0f};
  std::atomic<float> round_frame_scale_factor_{1.0f};
  std::atomic<bool> front_camera_{false};
  std::atomic<bool> gray_filter_{false};
  std::atomic<int> reference_orientation_{1};
  std::atomic<int> device_orientation_{0};
  std::atomic<int> origin_orientation_{3};
};

}  // namespace capture
