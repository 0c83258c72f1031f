#include "capture/av_capture_manager.h"

#include <gtest/gtest.h>

#include "capture/capture_preferences.h"
#include "platform/testing/fake_media.h"
#include "platform/testing/fake_platform.h"
#include "shell/login_user_info_preferences.h"

namespace capture {
namespace {

using platform::CameraInfo;
using platform::CameraPosition;
using platform::Value;

class AVCaptureManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    shell::LoginUserInfoPreferences::SaveLoginUser(
        Value(Value::Dictionary{{"_id", Value("12")}, {"login_meta", Value(Value::Dictionary{})}}));
  }
  void AddFrontCamera(bool torch = false) {
    CameraInfo front{"front", "Front camera", CameraPosition::kFront};
    front.torch_supported = torch;
    media.capture.cameras.push_back(front);
  }
  platform::FakePlatform fake;
  platform::FakeMedia media;
};

TEST_F(AVCaptureManagerTest, CameraChoiceFollowsTheUsersLastCamera) {
  struct Case {
    bool front_preference, front_exists;
    CameraPosition position;
    bool preference_after;
  };
  const Case cases[] = {
      {false, true, CameraPosition::kBack, false},
      {true, true, CameraPosition::kFront, true},
      {true, false, CameraPosition::kBack, false},  // no front camera: the preference is reset
  };
  for (const Case& c : cases) {
    platform::FakeMedia local;
    if (c.front_exists) local.capture.cameras.push_back({"front", "Front", CameraPosition::kFront});
    CapturePreferences::SaveCameraPosition(c.front_preference, "12");
    AVCaptureManager manager;
    manager.SetupCapture();
    EXPECT_EQ(manager.camera_position(), c.position);
    EXPECT_EQ(CapturePreferences::IsFrontCameraPosition("12"), c.preference_after);
    EXPECT_TRUE(manager.has_video_input());
    EXPECT_TRUE(manager.has_audio_input());
    const std::string id = c.position == CameraPosition::kFront ? "front" : "back";
    EXPECT_TRUE(local.capture.camera_state(id).open);
    EXPECT_TRUE(local.capture.camera_state(id).continuous_focus);
  }
}

TEST_F(AVCaptureManagerTest, MissingDevicesAreLeftOutWithAReason) {
  media.capture.cameras.clear();
  media.capture.microphone = false;
  AVCaptureManager manager;
  manager.SetupCapture();
  EXPECT_FALSE(manager.has_video_input());
  EXPECT_FALSE(manager.has_audio_input());
  EXPECT_EQ(manager.setup_errors().size(), 2u);
  manager.OpenCaptpure();  // nothing to start, nothing breaks
  manager.SwitchCamera();
  EXPECT_EQ(manager.CleanAperture(), platform::Rect{});
}

TEST_F(AVCaptureManagerTest, SwitchingMovesTheRunningSessionToTheOtherCamera) {
  AddFrontCamera();
  AVCaptureManager manager;
  manager.SetupCapture();
  auto queue = fake.dispatcher.CreateSerialQueue("cameraQueue");
  int frames = 0;
  manager.SetVideoDataOutput(
      queue, [&](const platform::VideoFrame&) { ++frames; }, 10);
  manager.OpenCaptpure();
  EXPECT_TRUE(media.capture.camera_state("back").running);
  manager.SwitchCamera();
  EXPECT_EQ(manager.camera_position(), CameraPosition::kFront);
  EXPECT_FALSE(media.capture.camera_state("back").open);
  EXPECT_TRUE(media.capture.camera_state("front").running);
  EXPECT_EQ(media.capture.camera_state("front").frame_rate, 10);
  media.capture.PushVideoFrame(platform::MakeTestFrame(64, 48, 0));
  fake.dispatcher.RunUntilIdle();
  EXPECT_EQ(frames, 1);  // the output followed the switch

  // The other camera cannot be had: the current one stays.
  media.capture.unopenable.insert("back");
  manager.SwitchCamera();
  EXPECT_EQ(manager.camera_position(), CameraPosition::kFront);
  EXPECT_TRUE(media.capture.camera_state("front").running);
  manager.CloseCapture();
  EXPECT_FALSE(media.capture.camera_state("front").running);
  EXPECT_FALSE(media.capture.microphone_running());
}

TEST_F(AVCaptureManagerTest, TorchAndFocusWhereSupported) {
  AVCaptureManager manager;
  manager.SetupCapture();
  manager.OpenFlashLED();  // the back camera has no torch
  EXPECT_TRUE(manager.IsFlashOpen());
  EXPECT_FALSE(media.capture.camera_state("back").torch);
  manager.CloseFlashLED();
  EXPECT_FALSE(manager.IsFlashOpen());
  manager.AutoFocusAtPoint(0.5, 0.5);
  EXPECT_TRUE(media.capture.camera_state("back").focus_points.empty());

  platform::FakeMedia local;
  CameraInfo able{"able", "Torch camera", CameraPosition::kBack, true, true, true};
  local.capture.cameras = {able};
  AVCaptureManager other;
  other.SetupCapture();
  EXPECT_TRUE(other.HasFlash());
  other.OpenFlashLED();
  EXPECT_TRUE(local.capture.camera_state("able").torch);
  other.AutoFocusAtPoint(0.25, 0.75);
  EXPECT_EQ(local.capture.camera_state("able").focus_points.size(), 1u);
}

}  // namespace
}  // namespace capture
