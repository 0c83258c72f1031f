// AVCaptureManager: the capture session that feeds the recorder: one camera,
// the default microphone, and the outputs their samples go to. It chooses the
// camera (the user's last one when it still exists), switches between the
// back and the front camera, drives the torch and the focus point.
//
// Every method is called on the capture host's "Movie Writing Queue"; the
// getters may also be called from other threads, so the inputs are guarded.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/capture.h"

namespace capture {

class AVCaptureManager {
 public:
  // Uses `devices`, or the process's capture devices when null.
  explicit AVCaptureManager(platform::CaptureDevices* devices = nullptr);
  ~AVCaptureManager();
  AVCaptureManager(const AVCaptureManager&) = delete;
  AVCaptureManager& operator=(const AVCaptureManager&) = delete;

  // Opens the camera and the microphone. A device that cannot be opened is
  // left out; setup_errors() says why.
  void SetupCapture();
  // Starts / stops the session.
  void OpenCaptpure();
  void CloseCapture();
  bool running() const { return running_.load(); }

  bool HasFlash() const;
  // Torch on / off where supported; IsFlashOpen follows the request either way.
  void OpenFlashLED();
  void CloseFlashLED();
  bool IsFlashOpen() const { return flash_open_.load(); }

  // Replaces the camera by the one at the other position; when that one cannot
  // be opened the current camera and position stay.
  void SwitchCamera();
  std::optional<platform::CameraInfo> CameraWithPosition(platform::CameraPosition position) const;
  platform::CameraPosition camera_position() const { return camera_position_.load(); }

  bool has_video_input() const;
  bool has_audio_input() const;
  platform::Rect CleanAperture() const;
  void AutoFocusAtPoint(double x, double y);

  // Where the samples go: applied to the inputs now, and to a new camera after a switch.
  void SetVideoDataOutput(std::shared_ptr<platform::DispatchQueue> queue,
                          platform::VideoFrameHandler handler, int frame_rate);
  void SetAudioDataOutput(std::shared_ptr<platform::DispatchQueue> queue,
                          platform::AudioSamplesHandler handler);

  const std::vector<std::string>& setup_errors() const { return setup_errors_; }

 private:
  platform::CaptureDevices& devices() const;

  platform::CaptureDevices* devices_;
  mutable std::mutex mutex_;
  std::unique_ptr<platform::VideoCaptureSource> video_input_;
  std::unique_ptr<platform::AudioCaptureSource> audio_input_;
  std::atomic<platform::CameraPosition> camera_position_{platform::CameraPosition::kBack};
  std::atomic<bool> flash_open_{false};
  std::atomic<bool> running_{false};
  std::vector<std::string> setup_errors_;

  std::shared_ptr<platform::DispatchQueue> video_queue_;
  platform::VideoFrameHandler video_handler_;
  int frame_rate_ = 0;
};

}  // namespace capture
