#include "capture/media_capture_writer_host.h"

#include <gtest/gtest.h>

#include <fstream>

#include "capture/capture_preferences.h"
#include "capture/recording_files.h"
#include "platform/file_system.h"
#include "platform/testing/fake_media.h"
#include "platform/testing/fake_platform.h"
#include "shell/login_user_info_preferences.h"

namespace capture {
namespace {

using platform::AssetWriterStatus;
using platform::MakeTestAudio;
using platform::MakeTestFrame;
using platform::Value;
using std::chrono::milliseconds;

// What the engine was asked, in order.
struct EngineLog {
  std::vector<std::string> calls;
  int sample_checks = 0;
  bool accept_samples = true;
  int start_result = 0;
  std::string url, token, video_sample, audio_sample;
  int frame_rate = 0;
  int appended = 0;
  std::string new_video, new_audio;
  LiveTask task = reinterpret_cast<LiveTask>(0x1234);
};

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    shell::LoginUserInfoPreferences::SaveLoginUser(Value(Value::Dictionary{
        {"_id", Value(12)}, {"login_meta", Value(Value::Dictionary{{"token", Value("TOKEN")}})}}));
    engine_queue_ = fake.dispatcher.CreateSerialQueue("com.selvo.queue");
  }

  LiveStreamingHooks Hooks() {
    LiveStreamingHooks hooks;
    hooks.check_sample_files = [this](const std::string&, const std::string&) {
      ++engine.sample_checks;
      return engine.accept_samples;
    };
    hooks.new_live_task = [this](const std::string& uuid, const std::string& video,
                                 const std::string& audio) {
      EXPECT_TRUE(engine_queue_->IsCurrent());
      engine.calls.push_back("new " + uuid);
      engine.new_video = video;
      engine.new_audio = audio;
      return engine.task;
    };
    hooks.start_live_task = [this](LiveTask task, const std::string& url, const std::string& token,
                                   int frame_rate, const std::string& video_sample,
                                   const std::string& audio_sample) {
      EXPECT_TRUE(engine_queue_->IsCurrent());
      engine.calls.push_back(task == engine.task ? "start task" : "start other");
      engine.url = url;
      engine.token = token;
      engine.frame_rate = frame_rate;
      engine.video_sample = video_sample;
      engine.audio_sample = audio_sample;
      return engine.start_result;
    };
    hooks.send_recorder_stopped = [this](LiveTask task) {
      EXPECT_TRUE(engine_queue_->IsCurrent());
      engine.calls.push_back(task == engine.task ? "stopped task" : "stopped other");
    };
    hooks.media_appended = [this] { ++engine.appended; };
    hooks.combine_to_library = [this](const std::string& video, int degrees, const std::string&) {
      combined.push_back(video + "@" + std::to_string(degrees));
    };
    return hooks;
  }

  std::unique_ptr<MediaCaptureWriterHost> MakeHost() {
    auto host = std::make_unique<MediaCaptureWriterHost>(engine_queue_, Hooks());
    bool ready = false;
    host->SetupCaptureWithBlock([&] { ready = true; });
    host->OpenCaptpure();
    fake.dispatcher.RunUntilIdle();
    EXPECT_TRUE(ready);
    return host;
  }

  // Camera and microphone deliver for `duration`, 10 pictures a second.
  void Capture(milliseconds duration) {
    for (milliseconds t{0}; t < duration; t += milliseconds(100)) {
      const int64_t now =
          std::chrono::duration_cast<std::chrono::microseconds>(fake.clock.Now().time_since_epoch())
              .count();
      media.capture.PushVideoFrame(MakeTestFrame(1280, 720, now));
      media.capture.PushAudio(MakeTestAudio(4410, now));
      fake.dispatcher.AdvanceBy(milliseconds(100));
    }
    fake.dispatcher.RunUntilIdle();
  }

  std::optional<bool> Start(MediaCaptureWriterHost& host, const std::string& uuid) {
    std::optional<bool> started;
    host.StartWritingWithVideoUuid(uuid, 90, [&](bool ok) { started = ok; });
    fake.dispatcher.RunUntilIdle();
    return started;
  }

  StoppedRecording Stop(MediaCaptureWriterHost& host) {
    StoppedRecording stopped;
    bool done = false;
    host.StopWritingWithBlock([&](const StoppedRecording& s) {
      stopped = s;
      done = true;
    });
    fake.dispatcher.RunUntilIdle();
    EXPECT_TRUE(done);
    return stopped;
  }

  bool Exists(const std::string& path) { return platform::DefaultFileSystem().Exists(path); }

  platform::FakePlatform fake;
  platform::FakeMedia media;
  std::shared_ptr<platform::DispatchQueue> engine_queue_;
  EngineLog engine;
  std::vector<std::string> combined;
};

TEST_F(HostTest, FirstRecordingWritesTheSampleFilesFirstAndTheNextStartsAtOnce) {
  auto host = MakeHost();
  std::optional<bool> started;
  host->StartWritingWithVideoUuid("U1", 90, [&](bool ok) { started = ok; });
  fake.dispatcher.RunUntilIdle();
  auto video_sample = media.writers.Last("sample_video.mov");
  auto audio_sample = media.writers.Last("sample_audio.mov");
  ASSERT_TRUE(video_sample && audio_sample);
  EXPECT_FALSE(started);
  Capture(milliseconds(2900));
  EXPECT_FALSE(started);  // still recording the samples
  Capture(milliseconds(200));
  ASSERT_TRUE(started);
  EXPECT_TRUE(*started);
  EXPECT_EQ(video_sample->status, AssetWriterStatus::kCompleted);
  EXPECT_EQ(audio_sample->status, AssetWriterStatus::kCompleted);
  EXPECT_EQ(video_sample->appended_pts.size(), 30u);
  EXPECT_EQ(engine.calls, (std::vector<std::string>{"new U1"}));
  EXPECT_EQ(engine.new_video, host->current_video_path());
  EXPECT_EQ(engine.new_audio, host->current_audio_path());
  const std::string prefix = fake.environment.TemporaryDirectory() + "/3132_";
  EXPECT_EQ(host->current_video_path().rfind(prefix, 0), 0u);
  EXPECT_EQ(host->current_video_path().substr(host->current_video_path().size() - 5), "V.mov");
  EXPECT_EQ(host->current_audio_path().substr(host->current_audio_path().size() - 5), "A.mov");

  const int appended = engine.appended;
  Capture(milliseconds(1000));
  EXPECT_EQ(engine.appended - appended, 20);  // ten pictures and ten blocks of sound
  auto stopped = Stop(*host);
  EXPECT_TRUE(stopped.video_finished);
  EXPECT_TRUE(stopped.audio_finished);
  // The picture that came with the end of the samples, and ten more.
  EXPECT_EQ(media.writers.Last("V.mov")->appended_pts.size(), 11u);
  EXPECT_EQ(engine.calls, (std::vector<std::string>{"new U1", "stopped task"}));

  // The sample files are there now: the next recording starts at once.
  const size_t writers = media.writers.writers.size();
  fake.clock.Advance(milliseconds(5));  // a new file name
  EXPECT_EQ(Start(*host, "U2"), true);
  EXPECT_EQ(media.writers.writers.size(), writers + 2);
  EXPECT_EQ(engine.sample_checks, 1);  // the first time there was nothing to check
  Stop(*host);
}

TEST_F(HostTest, RejectedSampleFilesAreDeletedAndRecordedAgain) {
  auto host = MakeHost();
  std::ofstream(RecordingFiles::SampleVideoFile()) << "damaged";
  std::ofstream(RecordingFiles::SampleAudioFile()) << "amr";
  engine.accept_samples = false;
  std::optional<bool> started;
  host->StartWritingWithVideoUuid("U", 0, [&](bool ok) { started = ok; });
  fake.dispatcher.RunUntilIdle();
  ASSERT_TRUE(media.writers.Last("sample_video.mov"));  // created anew: the old ones were deleted
  Capture(milliseconds(3100));
  EXPECT_EQ(started, true);
  Stop(*host);
}

TEST_F(HostTest, SampleRecordingWithoutSamplesFailsTheStart) {
  media.capture.cameras.clear();  // nothing ever arrives
  auto host = MakeHost();
  std::optional<bool> started;
  host->StartWritingWithVideoUuid("U", 0, [&](bool ok) { started = ok; });
  fake.dispatcher.AdvanceBy(std::chrono::seconds(4));
  EXPECT_EQ(started, false);
  EXPECT_FALSE(Exists(RecordingFiles::SampleVideoFile()));
  EXPECT_TRUE(engine.calls.empty());
}

TEST_F(HostTest, StopBeforeAnySampleReportsUnfinishedSignalsTheEngineAndStaysStopped) {
  auto host = MakeHost();
  std::ofstream(RecordingFiles::SampleVideoFile()) << "v";
  std::ofstream(RecordingFiles::SampleAudioFile()) << "a";
  ASSERT_EQ(Start(*host, "U"), true);
  const std::string video = host->current_video_path();
  auto stopped = Stop(*host);
  EXPECT_FALSE(stopped.video_finished);
  EXPECT_FALSE(stopped.audio_finished);
  EXPECT_EQ(engine.calls, (std::vector<std::string>{"new U", "stopped task"}));
  // Samples after the stop write nothing.
  Capture(milliseconds(500));
  EXPECT_FALSE(Exists(video));
  EXPECT_FALSE(Exists(host->current_audio_path()));
  EXPECT_EQ(media.writers.Last("V.mov")->status, AssetWriterStatus::kCancelled);
}

TEST_F(HostTest, WhenOnlyOneWriterStartsTheOtherIsStoppedAndLeavesNoFile) {
  std::ofstream(platform::DefaultEnvironment().TemporaryDirectory() + "/sample_video.mov") << "v";
  std::ofstream(platform::DefaultEnvironment().TemporaryDirectory() + "/sample_audio.mov") << "a";
  for (const char* failing : {"A.mov", "V.mov"}) {
    platform::FakeMedia local;
    auto host = MakeHost();
    local.writers.fail_create.insert(failing);
    EXPECT_EQ(Start(*host, "U"), false) << failing;
    Capture(milliseconds(300));
    for (const auto& record : local.writers.writers) {
      EXPECT_NE(record->status, AssetWriterStatus::kWriting) << record->path;
      EXPECT_TRUE(record->appended_pts.empty()) << record->path;
      EXPECT_FALSE(Exists(record->path)) << record->path;
      EXPECT_FALSE(Exists(record->path + ".jpg")) << record->path;
    }
    EXPECT_TRUE(engine.calls.empty()) << failing;
  }
}

TEST_F(HostTest, PublishWaitsForTheThumbnailThenStartsTheLiveTask) {
  auto host = MakeHost();
  std::ofstream(RecordingFiles::SampleVideoFile()) << "v";
  std::ofstream(RecordingFiles::SampleAudioFile()) << "a";
  ASSERT_EQ(Start(*host, "U"), true);
  std::optional<int> result;
  engine.start_result = 1;
  host->PublishLiveMedia("http://ingest/live", [&](int r) { result = r; });
  fake.dispatcher.AdvanceBy(milliseconds(450));
  EXPECT_FALSE(result);  // no picture yet, so no thumbnail
  Capture(milliseconds(200));
  fake.dispatcher.AdvanceBy(milliseconds(200));
  ASSERT_EQ(result, 1);
  EXPECT_TRUE(Exists(host->current_video_path() + ".jpg"));
  EXPECT_EQ(engine.calls, (std::vector<std::string>{"new U", "start task"}));
  EXPECT_EQ(engine.url, "http://ingest/live");
  EXPECT_EQ(engine.token, "TOKEN");
  EXPECT_EQ(engine.frame_rate, 10);
  EXPECT_EQ(engine.video_sample, RecordingFiles::SampleVideoFile());
  EXPECT_EQ(engine.audio_sample, RecordingFiles::SampleAudioFile());
  Stop(*host);
}

TEST_F(HostTest, APublishDuringTheSampleRecordingStartsTheRecordingsLiveTask) {
  // The service answers while the sample files are still being recorded: the live task
  // and the thumbnail are the recording's, which exist only once it has started.
  auto host = MakeHost();
  std::optional<bool> started;
  host->StartWritingWithVideoUuid("U", 0, [&](bool ok) { started = ok; });
  fake.dispatcher.RunUntilIdle();
  std::optional<int> result;
  engine.start_result = 1;
  host->PublishLiveMedia("http://ingest/live", [&](int r) { result = r; });
  Capture(milliseconds(2000));
  EXPECT_FALSE(result);
  EXPECT_TRUE(engine.calls.empty());
  Capture(milliseconds(1500));
  ASSERT_EQ(started, true);
  ASSERT_EQ(result, 1);
  EXPECT_EQ(engine.calls, (std::vector<std::string>{"new U", "start task"}));
  EXPECT_TRUE(Exists(host->current_video_path() + ".jpg"));
  Stop(*host);
}

TEST_F(HostTest, PublishGivesUpWaitingAfterFiveSeconds) {
  auto host = MakeHost();
  std::ofstream(RecordingFiles::SampleVideoFile()) << "v";
  std::ofstream(RecordingFiles::SampleAudioFile()) << "a";
  ASSERT_EQ(Start(*host, "U"), true);
  std::optional<int> result;
  host->PublishLiveMedia("http://ingest/live", [&](int r) { result = r; });
  fake.dispatcher.AdvanceBy(milliseconds(4900));
  EXPECT_FALSE(result);
  fake.dispatcher.AdvanceBy(milliseconds(200));
  EXPECT_EQ(result, 0);
  Stop(*host);
}

TEST_F(HostTest, WithoutAnEnginePublishAnswersNotWired) {
  auto host = std::make_unique<MediaCaptureWriterHost>(engine_queue_, LiveStreamingHooks{});
  host->SetupCaptureWithBlock([] {});
  fake.dispatcher.RunUntilIdle();
  std::optional<int> result;
  host->PublishLiveMedia("http://x", [&](int r) { result = r; });
  fake.dispatcher.AdvanceBy(std::chrono::seconds(6));
  EXPECT_EQ(result, kLiveTaskNotWired);
}

TEST_F(HostTest, TheSoundFileStartsAtTheFirstPictureToTheSample) {
  std::ofstream(RecordingFiles::SampleVideoFile()) << "v";
  std::ofstream(RecordingFiles::SampleAudioFile()) << "a";
  // Where the microphone's first block begins against the first picture, and what
  // the sound file must then begin with: sound cut at the picture, or silence
  // until the first sound.
  struct Case {
    int64_t first_sound_us;
    int64_t cut_frames;
    int64_t silent_frames;
  };
  const int64_t t0 = 50000000;
  for (const Case& c : {Case{-50000, 2205, 0}, Case{-120, 5, 0}, Case{0, 0, 0},
                        Case{30000, 0, 1323}, Case{-1000000, 0, 0}}) {
    SCOPED_TRACE(c.first_sound_us);
    auto host = MakeHost();
    fake.clock.Advance(milliseconds(5));  // a new file name
    ASSERT_EQ(Start(*host, "U"), true);
    // Blocks of 1024 samples at 44.1 kHz, the ones before the picture arriving first.
    int64_t pushed = 0;
    auto push_sound = [&](int blocks) {
      for (int i = 0; i < blocks; ++i, pushed += 1024) {
        media.capture.PushAudio(
            MakeTestAudio(1024, t0 + c.first_sound_us + pushed * 1000000 / 44100));
      }
      fake.dispatcher.RunUntilIdle();
    };
    push_sound(c.first_sound_us < 0 ? 3 : 0);
    media.capture.PushVideoFrame(MakeTestFrame(1280, 720, t0));
    fake.dispatcher.RunUntilIdle();
    push_sound(4);
    media.capture.PushVideoFrame(MakeTestFrame(1280, 720, t0 + 100000));
    fake.dispatcher.RunUntilIdle();
    Stop(*host);

    auto video = media.writers.Last("V.mov");
    auto audio = media.writers.Last("A.mov");
    ASSERT_TRUE(video && audio);
    EXPECT_EQ(video->session_start_us, t0);
    int64_t written = 0;
    for (const auto& block : audio->audio) written += block.frames();
    if (c.first_sound_us + pushed * 1000000 / 44100 <= 0) {
      // All the sound is from before the picture: there is no sound file.
      EXPECT_EQ(audio->status, AssetWriterStatus::kCancelled);
      EXPECT_TRUE(audio->audio.empty());
      continue;
    }
    EXPECT_EQ(audio->status, AssetWriterStatus::kCompleted);
    EXPECT_EQ(audio->session_start_us, t0);
    ASSERT_FALSE(audio->audio.empty());
    EXPECT_EQ(audio->audio.front().pts_us, t0);
    EXPECT_EQ(written, pushed - c.cut_frames + c.silent_frames);
    const std::vector<int16_t>& first = *audio->audio.front().samples;
    ASSERT_GT(first.size(), static_cast<size_t>(c.silent_frames));
    for (int64_t i = 0; i < c.silent_frames; ++i) ASSERT_EQ(first[static_cast<size_t>(i)], 0) << i;
    EXPECT_EQ(first[static_cast<size_t>(c.silent_frames)], 1000);
  }
}

class CountingPreview : public VideoPreview {
 public:
  void DisplayPixelBuffer(const platform::VideoFrame&) override {
    EXPECT_TRUE(platform::MainQueue().IsCurrent());
    ++frames;
  }
  int frames = 0;
};

TEST_F(HostTest, PicturesPassThePreviewAndTheLocalCopyFollowsThePreference) {
  auto host = MakeHost();
  CountingPreview preview;
  host->InitPreviewView(&preview);
  std::ofstream(RecordingFiles::SampleVideoFile()) << "v";
  std::ofstream(RecordingFiles::SampleAudioFile()) << "a";
  ASSERT_EQ(Start(*host, "U"), true);
  Capture(milliseconds(500));
  EXPECT_EQ(preview.frames, 5);
  EXPECT_EQ(media.writers.Last("V.mov")->appended_pts.size(), 5u);
  const std::string video = host->current_video_path();
  Stop(*host);
  EXPECT_TRUE(combined.empty());  // not asked for

  CapturePreferences::SetSaveVideoToLocationLibraryFlag(true, "12");
  fake.clock.Advance(milliseconds(5));
  ASSERT_EQ(Start(*host, "U2"), true);
  Capture(milliseconds(200));
  const std::string second = host->current_video_path();
  Stop(*host);
  EXPECT_EQ(combined, (std::vector<std::string>{second + "@90"}));
  host->InitPreviewView(nullptr);
}

TEST_F(HostTest, CameraControlsRunOnTheWritingQueue) {
  media.capture.cameras.push_back({"front", "Front", platform::CameraPosition::kFront});
  auto host = MakeHost();
  EXPECT_TRUE(host->HasFrontCamera());
  EXPECT_FALSE(host->HasFlash());
  bool done = false;
  host->OpenFlashLED([&] { done = true; });
  fake.dispatcher.RunUntilIdle();
  EXPECT_TRUE(done && host->IsFlashOpen());
  host->SwitchCamera([] {});
  fake.dispatcher.RunUntilIdle();
  EXPECT_EQ(host->camera_position(), platform::CameraPosition::kFront);
  EXPECT_FALSE(host->IsFlashOpen());  // the torch goes off with the front camera
  host->ProposeVideoScaleFactor(2.0f);
  EXPECT_FLOAT_EQ(host->VideoScaleFactor(), 2.0f);
  host->SwitchFilter();
  EXPECT_TRUE(host->gray_filter());
}

}  // namespace
}  // namespace capture
