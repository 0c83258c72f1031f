#include "capture/av_capture_manager.h"

#include "capture/capture_preferences.h"
#include "platform/log.h"
#include "shell/login_user_info_preferences.h"

namespace capture {

using platform::CameraPosition;

AVCaptureManager::AVCaptureManager(platform::CaptureDevices* devices) : devices_(devices) {}

AVCaptureManager::~AVCaptureManager() {
  std::lock_guard lock(mutex_);
  if (video_input_) video_input_->Stop();
  if (audio_input_) audio_input_->Stop();
}

platform::CaptureDevices& AVCaptureManager::devices() const {
  return devices_ ? *devices_ : platform::DefaultCaptureDevices();
}

std::optional<platform::CameraInfo> AVCaptureManager::CameraWithPosition(
    CameraPosition position) const {
  for (const auto& camera : devices().Cameras()) {
    if (camera.position == position) return camera;
  }
  return std::nullopt;
}

void AVCaptureManager::SetupCapture() {
  setup_errors_.clear();
  const std::string user_id = shell::LoginUserInfoPreferences::UserId();
  CameraPosition position = CameraPosition::kBack;
  if (CapturePreferences::IsFrontCameraPosition(user_id)) {
    if (CameraWithPosition(CameraPosition::kFront)) {
      position = CameraPosition::kFront;
    } else {
      CapturePreferences::SaveCameraPosition(false, user_id);
    }
  }
  camera_position_.store(position);

  std::string error;
  std::unique_ptr<platform::VideoCaptureSource> camera;
  if (auto info = CameraWithPosition(position)) {
    camera = devices().OpenCamera(info->id, &error);
  } else {
    error = "no camera";
  }
  if (camera) {
    camera->SetContinuousAutoFocus();
  } else {
    setup_errors_.push_back(error);
    platform::Logf("Open camera failed: %s", error.c_str());
  }
  error.clear();
  auto microphone = devices().OpenMicrophone(&error);
  if (!microphone) {
    setup_errors_.push_back(error);
    platform::Logf("Open microphone failed: %s", error.c_str());
  }
  std::lock_guard lock(mutex_);
  video_input_ = std::move(camera);
  audio_input_ = std::move(microphone);
}

void AVCaptureManager::OpenCaptpure() {
  std::lock_guard lock(mutex_);
  std::string error;
  if (video_input_ && !video_input_->running() && !video_input_->Start(&error)) {
    platform::Logf("Start camera failed: %s", error.c_str());
  }
  if (audio_input_ && !audio_input_->running() && !audio_input_->Start(&error)) {
    platform::Logf("Start microphone failed: %s", error.c_str());
  }
  running_.store(true);
}

void AVCaptureManager::CloseCapture() {
  std::lock_guard lock(mutex_);
  if (video_input_) video_input_->Stop();
  if (audio_input_) audio_input_->Stop();
  running_.store(false);
}

bool AVCaptureManager::HasFlash() const {
  std::lock_guard lock(mutex_);
  return video_input_ && video_input_->info().has_flash;
}

void AVCaptureManager::OpenFlashLED() {
  {
    std::lock_guard lock(mutex_);
    if (video_input_) video_input_->SetTorch(true);
  }
  flash_open_.store(true);
}

void AVCaptureManager::CloseFlashLED() {
  {
    std::lock_guard lock(mutex_);
    if (video_input_) video_input_->SetTorch(false);
  }
  flash_open_.store(false);
}

void AVCaptureManager::SwitchCamera() {
  std::lock_guard lock(mutex_);
  if (!video_input_) return;
  const CameraPosition old_position = video_input_->info().position;
  const CameraPosition position =
      old_position == CameraPosition::kFront ? CameraPosition::kBack : CameraPosition::kFront;
  std::optional<platform::CameraInfo> info;
  for (const auto& camera : devices().Cameras()) {
    if (camera.position == position) info = camera;
  }
  std::string error;
  auto camera = info ? devices().OpenCamera(info->id, &error) : nullptr;
  if (!camera) {
    // The other camera cannot be had: keep the current one.
    platform::Logf("Switch camera failed: %s", info ? error.c_str() : "no other camera");
    return;
  }
  const bool was_running = video_input_->running();
  video_input_->Stop();
  if (video_handler_) camera->SetOutput(video_queue_, video_handler_, frame_rate_);
  camera->SetContinuousAutoFocus();
  if (was_running && !camera->Start(&error)) {
    platform::Logf("Start camera failed: %s", error.c_str());
  }
  video_input_ = std::move(camera);
  camera_position_.store(position);
}

bool AVCaptureManager::has_video_input() const {
  std::lock_guard lock(mutex_);
  return video_input_ != nullptr;
}

bool AVCaptureManager::has_audio_input() const {
  std::lock_guard lock(mutex_);
  return audio_input_ != nullptr;
}

platform::Rect AVCaptureManager::CleanAperture() const {
  std::lock_guard lock(mutex_);
  return video_input_ ? video_input_->CleanAperture() : platform::Rect{};
}

void AVCaptureManager::AutoFocusAtPoint(double x, double y) {
  std::lock_guard lock(mutex_);
  if (video_input_ && video_input_->info().focus_point_supported) {
    video_input_->SetFocusPoint(x, y);
  }
}

void AVCaptureManager::SetVideoDataOutput(std::shared_ptr<platform::DispatchQueue> queue,
                                          platform::VideoFrameHandler handler, int frame_rate) {
  std::lock_guard lock(mutex_);
  video_queue_ = std::move(queue);
  video_handler_ = std::move(handler);
  frame_rate_ = frame_rate;
  if (video_input_) video_input_->SetOutput(video_queue_, video_handler_, frame_rate_);
}

void AVCaptureManager::SetAudioDataOutput(std::shared_ptr<platform::DispatchQueue> queue,
                                          platform::AudioSamplesHandler handler) {
  std::lock_guard lock(mutex_);
  if (audio_input_) audio_input_->SetOutput(std::move(queue), std::move(handler));
}

}  // namespace capture
