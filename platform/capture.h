// Capture: the machine's cameras and microphone as sources of timestamped
// samples, in the manner of the phone platform's capture session.
//
// A camera or microphone is opened as a source; its output names the serial
// queue and the handler that receive its samples (the sample delegate and its
// queue). A video output drops frames that arrive while the previous one is
// still waiting on the queue (late frames are discarded) and delivers at most
// the output's frame rate.
//
// Implementations: platform/linux/system_capture_devices.h (V4L2 cameras, an
// ALSA or PulseAudio microphone), platform/linux/test_capture_devices.h (a
// moving test picture and a tone), platform/linux/media_file_capture_devices.h
// (a media file played in real time); platform/testing/fake_capture_devices.h
// for tests.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/dispatch.h"
#include "platform/media_sample.h"

namespace platform {

// Where a camera faces; the numbers are the platform's device positions.
enum class CameraPosition : int32_t { kUnspecified = 0, kBack = 1, kFront = 2 };

struct CameraInfo {
  std::string id;    // "/dev/video0", "test-back", ...
  std::string name;  // for people
  CameraPosition position = CameraPosition::kBack;
  bool has_flash = false;
  bool torch_supported = false;
  bool focus_point_supported = false;
};

struct Rect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
  bool operator==(const Rect&) const = default;
};

using VideoFrameHandler = std::function<void(const VideoFrame&)>;
using AudioSamplesHandler = std::function<void(const AudioSamples&)>;

class VideoCaptureSource {
 public:
  virtual ~VideoCaptureSource() = default;
  virtual const CameraInfo& info() const = 0;

  // Where frames go from the next Start on; `frame_rate` caps the delivery.
  virtual void SetOutput(std::shared_ptr<DispatchQueue> queue, VideoFrameHandler handler,
                         int frame_rate) = 0;
  // Starts delivering; false and `error` when the device cannot run.
  virtual bool Start(std::string* error) = 0;
  // Stops; no handler call is submitted after Stop returns.
  virtual void Stop() = 0;
  virtual bool running() const = 0;

  // False when the device has no torch or refused the mode.
  virtual bool SetTorch(bool on) = 0;
  // Continuous automatic focus, when the device has it.
  virtual bool SetContinuousAutoFocus() = 0;
  // Focus on a point in device coordinates (0..1 in both directions).
  virtual bool SetFocusPoint(double x, double y) = 0;
  // The picture area the device delivers (origin top-left); zero before it is known.
  virtual Rect CleanAperture() const = 0;
};

class AudioCaptureSource {
 public:
  virtual ~AudioCaptureSource() = default;
  virtual const std::string& name() const = 0;
  virtual void SetOutput(std::shared_ptr<DispatchQueue> queue, AudioSamplesHandler handler) = 0;
  virtual bool Start(std::string* error) = 0;
  virtual void Stop() = 0;
  virtual bool running() const = 0;
};

class CaptureDevices {
 public:
  virtual ~CaptureDevices() = default;
  // The cameras present now, the default (back) camera first.
  virtual std::vector<CameraInfo> Cameras() = 0;
  virtual bool HasMicrophone() = 0;
  // Nullptr and `error` when the device cannot be opened.
  virtual std::unique_ptr<VideoCaptureSource> OpenCamera(const std::string& id,
                                                         std::string* error) = 0;
  virtual std::unique_ptr<AudioCaptureSource> OpenMicrophone(std::string* error) = 0;
};

// The capture devices of the process: the machine's (V4L2 and ALSA/PulseAudio)
// unless others were installed (nullptr restores the machine's).
CaptureDevices& DefaultCaptureDevices();
void SetDefaultCaptureDevices(CaptureDevices* devices);

}  // namespace platform
