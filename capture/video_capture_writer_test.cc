#include "capture/video_capture_writer.h"

#include <gtest/gtest.h>

#include <cmath>

#include "capture/audio_capture_writer.h"
#include "capture/recording_files.h"
#include "platform/file_system.h"
#include "platform/log.h"
#include "platform/testing/fake_media.h"
#include "platform/testing/fake_platform.h"

namespace capture {
namespace {

using platform::AssetWriterStatus;
using platform::MakeTestFrame;

class CaptureWriterTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) {
    return fake.environment.TemporaryDirectory() + "/" + name;
  }
  platform::FakePlatform fake;
  platform::FakeMedia media;
};

TEST_F(CaptureWriterTest, ZoomIsClampedAndRoundedDown) {
  struct Case {
    std::vector<float> proposals;
    float expected;
  };
  const Case cases[] = {
      {{0.5f}, 1.0f},       {{2.0f}, 2.0f},       {{2.0f, 10.0f}, 4.0f},
      {{1.234567f}, 1.23f}, {{3.0f, 0.1f}, 1.0f},
  };
  for (const Case& c : cases) {
    VideoCaptureWriter writer;
    for (float p : c.proposals) writer.ProposeScaleFactor(p);
    EXPECT_FLOAT_EQ(writer.scale_factor(), c.expected);
  }
}

TEST_F(CaptureWriterTest, ZoomTwoCropsTheCentreOfA720pFrame) {
  VideoCaptureWriter writer;
  writer.ProposeScaleFactor(2.0f);
  auto frame = MakeTestFrame(1280, 720, 42, 50, 90);
  // Mark the centre region's corners.
  frame.y()[180 * 1280 + 400] = 200;  // top left of the 480 x 360 centre
  frame.y()[539 * 1280 + 879] = 201;  // bottom right
  auto out = writer.ResampleVideoBuffer(frame);
  ASSERT_TRUE(out.valid());
  EXPECT_EQ(out.width, 480);
  EXPECT_EQ(out.height, 360);
  EXPECT_EQ(out.pts_us, 42);
  EXPECT_EQ(out.y()[0], 200);
  EXPECT_EQ(out.y()[359 * 480 + 479], 201);
  EXPECT_EQ(out.uv()[0], 90);
  // 1.5 on 640x480: x = 480 / 540 = 0.88 -> 420 x 316 rounded down to 4s.
  VideoCaptureWriter other;
  other.ProposeScaleFactor(1.5f);
  auto small = other.ResampleVideoBuffer(MakeTestFrame(640, 480, 0));
  EXPECT_EQ(small.width, 420);
  EXPECT_EQ(small.height, 316);
}

TEST_F(CaptureWriterTest, GrayFilterWritesChroma128WithoutTouchingTheCapturedFrame) {
  for (float zoom : {1.0f, 2.0f}) {
    VideoCaptureWriter writer;
    writer.ProposeScaleFactor(zoom);
    writer.SwitchFilter();
    ASSERT_TRUE(writer.gray_filter());
    ASSERT_TRUE(writer.StartWriting(Path("gray" + std::to_string(zoom) + "V.mov")));
    auto frame = MakeTestFrame(1280, 720, 0, 100, 60);
    writer.DidOutputSampleBuffer(frame);
    writer.DidOutputSampleBuffer(MakeTestFrame(1280, 720, 100000, 100, 60));
    EXPECT_EQ(frame.uv()[0], 60);  // the preview's copy is untouched
    auto record = media.writers.writers.back();
    ASSERT_EQ(record->frames.size(), 2u);
    for (const auto& written : record->frames) {
      const size_t chroma = static_cast<size_t>(written.width) * written.height / 2;
      EXPECT_TRUE(
          std::all_of(written.uv(), written.uv() + chroma, [](uint8_t c) { return c == 128; }));
    }
    writer.StopWriting();
  }
}

TEST_F(CaptureWriterTest, AWriterStartsAtItsFirstSampleAndFinishesOnStop) {
  VideoCaptureWriter writer;
  writer.set_origin_orientation(3);
  const std::string path = Path("recV.mov");
  ASSERT_TRUE(writer.StartWriting(path));
  auto record = media.writers.Last("recV.mov");
  ASSERT_TRUE(record);
  EXPECT_TRUE(record->video);
  EXPECT_EQ(record->video_settings.width, 480);
  EXPECT_EQ(record->video_settings.height, 360);
  EXPECT_EQ(record->video_settings.average_bit_rate, 200000);
  EXPECT_EQ(record->video_settings.max_key_frame_interval, 10);
  EXPECT_DOUBLE_EQ(record->video_settings.rotation_radians, M_PI_2);  // portrait over landscape
  EXPECT_EQ(record->status, AssetWriterStatus::kUnknown);
  EXPECT_FALSE(writer.IsRecording());

  writer.DidOutputSampleBuffer(MakeTestFrame(1280, 720, 7000000));
  EXPECT_TRUE(writer.IsRecording());
  EXPECT_EQ(record->session_start_us, 7000000);
  writer.DidOutputSampleBuffer(MakeTestFrame(1280, 720, 7100000));
  media.writers.ready = false;  // not ready: the sample is dropped
  writer.DidOutputSampleBuffer(MakeTestFrame(1280, 720, 7200000));
  media.writers.ready = true;
  EXPECT_EQ(record->appended_pts, (std::vector<int64_t>{7000000, 7100000}));
  // The first picture became the thumbnail.
  EXPECT_TRUE(platform::DefaultFileSystem().Exists(path + ".jpg"));
  EXPECT_TRUE(platform::DefaultFileSystem().Exists(RecordingFiles::FirstFrameImagePath()));

  EXPECT_TRUE(writer.StopWriting());
  EXPECT_EQ(record->status, AssetWriterStatus::kCompleted);
  EXPECT_TRUE(record->destroyed);
  EXPECT_FALSE(writer.StopWriting());  // nothing left to stop

  // Held in landscape, the track is not turned.
  writer.SetDeviceOrientation(3);
  ASSERT_TRUE(writer.StartWriting(Path("landV.mov")));
  EXPECT_DOUBLE_EQ(media.writers.Last("landV.mov")->video_settings.rotation_radians, 0);
  writer.StopWriting();
}

TEST_F(CaptureWriterTest, AWriterStoppedBeforeItsFirstSampleStaysStopped) {
  VideoCaptureWriter video;
  AudioCaptureWriter audio;
  ASSERT_TRUE(video.StartWriting(Path("earlyV.mov")));
  ASSERT_TRUE(audio.StartWriting(Path("earlyA.mov")));
  EXPECT_FALSE(video.StopWriting());
  EXPECT_FALSE(audio.StopWriting());
  // Samples after the stop start nothing: no file, nothing appended.
  video.DidOutputSampleBuffer(MakeTestFrame(640, 480, 1));
  audio.DidOutputSampleBuffer(platform::MakeTestAudio(1024, 1));
  for (const char* name : {"earlyV.mov", "earlyA.mov"}) {
    auto record = media.writers.Last(name);
    EXPECT_EQ(record->status, AssetWriterStatus::kCancelled) << name;
    EXPECT_TRUE(record->appended_pts.empty()) << name;
    EXPECT_FALSE(platform::DefaultFileSystem().Exists(Path(name))) << name;
  }
  EXPECT_FALSE(platform::DefaultFileSystem().Exists(Path("earlyV.mov.jpg")));
}

TEST_F(CaptureWriterTest, AudioSettingsAndFailures) {
  AudioCaptureWriter audio;
  ASSERT_TRUE(audio.StartWriting(Path("aA.mov")));
  auto record = media.writers.Last("aA.mov");
  EXPECT_FALSE(record->video);
  EXPECT_EQ(record->audio_settings.sample_rate, 22050);
  EXPECT_EQ(record->audio_settings.channels, 1);
  EXPECT_EQ(record->audio_settings.bit_rate_per_channel, 32000);
  audio.DidOutputSampleBuffer(platform::MakeTestAudio(1024, 500));
  EXPECT_EQ(record->status, AssetWriterStatus::kUnknown);  // waits for the first picture
  audio.StartAt(500);
  EXPECT_EQ(record->session_start_us, 500);
  EXPECT_FALSE(audio.StartWriting(Path("bA.mov")));  // one recording at a time
  EXPECT_TRUE(audio.StopWriting());

  std::vector<std::string> logged;
  platform::SetLogSink([&](std::string_view line) { logged.emplace_back(line); });
  media.writers.fail_create.insert("cA.mov");
  EXPECT_FALSE(audio.StartWriting(Path("cA.mov")));
  media.writers.fail_start.insert("dA.mov");
  ASSERT_TRUE(audio.StartWriting(Path("dA.mov")));
  audio.DidOutputSampleBuffer(platform::MakeTestAudio(1024, 1));
  audio.StartAt(1);
  EXPECT_FALSE(audio.StopWriting());
  platform::SetLogSink(nullptr);
  ASSERT_GE(logged.size(), 2u);
  EXPECT_EQ(logged[0].rfind("audio error ", 0), 0u);
}

}  // namespace
}  // namespace capture
