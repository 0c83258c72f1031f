#include "capture/media_capture_writer_host.h"

#include "capture/capture_preferences.h"
#include "capture/recording_files.h"
#include "platform/file_system.h"
#include "platform/log.h"
#include "shell/login_user_info_preferences.h"

namespace capture {
namespace {

bool Alive(const std::weak_ptr<std::atomic<bool>>& alive) {
  auto token = alive.lock();
  return token && token->load();
}

}  // namespace

using platform::DefaultDispatcher;
using platform::MainQueue;

MediaCaptureWriterHost::MediaCaptureWriterHost(
    std::shared_ptr<platform::DispatchQueue> engine_queue, LiveStreamingHooks hooks)
    : engine_queue_(std::move(engine_queue)),
      hooks_(std::move(hooks)),
      movie_writing_queue_(DefaultDispatcher().CreateSerialQueue("Movie Writing Queue")),
      waiting_sample_ready_queue_(
          DefaultDispatcher().CreateSerialQueue("Waiting Sample Ready Queue")),
      camera_queue_(DefaultDispatcher().CreateSerialQueue("cameraQueue")),
      microphone_queue_(DefaultDispatcher().CreateSerialQueue("microphoneQueue")) {
  video_writer_.set_origin_orientation(3);
  video_writer_.InitMediaWriter();
  audio_writer_.InitMediaWriter();
}

MediaCaptureWriterHost::~MediaCaptureWriterHost() {
  alive_->store(false);
  // Samples still queued must not reach the writers once they are gone.
  movie_writing_queue_->Sync([this] { manager_.CloseCapture(); });
  movie_writing_queue_->Sync([] {});
  engine_queue_->Sync([] {});
}

void MediaCaptureWriterHost::SetupDataOutputs() {
  std::weak_ptr<std::atomic<bool>> alive = alive_;
  manager_.SetVideoDataOutput(
      camera_queue_,
      [this, alive](const platform::VideoFrame& frame) {
        auto to_writer = [this, alive, frame] {
          movie_writing_queue_->Async([this, alive, frame] {
            if (!Alive(alive)) return;
            video_writer_.DidOutputSampleBuffer(frame);
            // The sound file starts where the first picture written does.
            if (auto start = video_writer_.session_start_us()) audio_writer_.StartAt(*start);
            if (hooks_.media_appended) hooks_.media_appended();
          });
        };
        if (!preview_.load()) {
          to_writer();
          return;
        }
        MainQueue().Async([this, alive, frame, to_writer] {
          if (!Alive(alive)) return;
          if (VideoPreview* preview = preview_.load()) preview->DisplayPixelBuffer(frame);
          to_writer();
        });
      },
      kFrameRate);
  manager_.SetAudioDataOutput(microphone_queue_, [this, alive](const platform::AudioSamples& s) {
    movie_writing_queue_->Async([this, alive, s] {
      if (!Alive(alive)) return;
      audio_writer_.DidOutputSampleBuffer(s);
      if (hooks_.media_appended) hooks_.media_appended();
    });
  });
}

void MediaCaptureWriterHost::SetupCaptureWithBlock(std::function<void()> block) {
  movie_writing_queue_->Async([this, block = std::move(block)] {
    manager_.SetupCapture();
    video_writer_.set_front_camera(manager_.camera_position() == platform::CameraPosition::kFront);
    SetupDataOutputs();
    MainQueue().Async(block);
  });
}

void MediaCaptureWriterHost::OpenCaptpure() {
  movie_writing_queue_->Async([this] { manager_.OpenCaptpure(); });
}

void MediaCaptureWriterHost::CloseCapture() {
  movie_writing_queue_->Async([this] { manager_.CloseCapture(); });
}

bool MediaCaptureWriterHost::HasFrontCamera() const {
  return manager_.CameraWithPosition(platform::CameraPosition::kFront).has_value();
}

bool MediaCaptureWriterHost::HasSampleVideoAndAudioFile() const {
  return RecordingFiles::HasSampleVideoAndAudioFile(hooks_.check_sample_files);
}

std::string MediaCaptureWriterHost::current_video_path() const {
  std::lock_guard lock(paths_mutex_);
  return video_path_;
}

std::string MediaCaptureWriterHost::current_audio_path() const {
  std::lock_guard lock(paths_mutex_);
  return audio_path_;
}

bool MediaCaptureWriterHost::StartBothWriters(const std::string& video_path,
                                              const std::string& audio_path) {
  const bool audio = audio_writer_.StartWriting(audio_path);
  const bool video = video_writer_.StartWriting(video_path);
  if (audio == video) return audio;
  // Only one started: a file without its partner is an orphan nobody uploads.
  CaptureWriter& started = audio ? static_cast<CaptureWriter&>(audio_writer_) : video_writer_;
  const std::string path = started.output_path();
  started.StopWriting();
  platform::DefaultFileSystem().RemoveFile(path);
  if (video) platform::DefaultFileSystem().RemoveFile(RecordingFiles::ThumbnailPath(path));
  return false;
}

bool MediaCaptureWriterHost::StartLiveStreamWriting(const std::string& uuid) {
  const platform::WallTime now = platform::DefaultClock().WallNow();
  const std::string audio_path = RecordingFiles::AudioRecordingPath(now);
  const std::string video_path =
      RecordingFiles::VideoRecordingPath(platform::DefaultClock().WallNow());
  if (!StartBothWriters(video_path, audio_path)) return false;
  {
    std::lock_guard lock(paths_mutex_);
    video_path_ = video_path;
    audio_path_ = audio_path;
  }
  if (hooks_.new_live_task) {
    engine_queue_->Async([side = engine_side_, new_live_task = hooks_.new_live_task, uuid,
                          video_path, audio_path] {
      side->task = new_live_task(uuid, video_path, audio_path);
    });
  }
  return true;
}

void MediaCaptureWriterHost::StopLiveStreamWriting(StoppedRecording* stopped) {
  stopped->video_finished = video_writer_.StopWriting();
  stopped->audio_finished = audio_writer_.StopWriting();
  // Not tied to the host's life: the engine must hear that the files are final.
  engine_queue_->Async([side = engine_side_, send = hooks_.send_recorder_stopped] {
    if (side->task && send) send(side->task);
    side->task = nullptr;
  });
}

bool MediaCaptureWriterHost::StartSampleFilesWriting() {
  return StartBothWriters(RecordingFiles::SampleVideoFile(), RecordingFiles::SampleAudioFile());
}

bool MediaCaptureWriterHost::StopSampleFilesWriting() {
  const bool video = video_writer_.StopWriting();
  const bool audio = audio_writer_.StopWriting();
  if (video && audio) return true;
  // A half-written pair is worth nothing: the next start records it again.
  platform::DefaultFileSystem().RemoveFile(RecordingFiles::SampleVideoFile());
  platform::DefaultFileSystem().RemoveFile(RecordingFiles::SampleAudioFile());
  return false;
}

void MediaCaptureWriterHost::StartWritingWithVideoUuid(const std::string& uuid, int rotate_degrees,
                                                       std::function<void(bool)> block) {
  video_rotate_degrees_ = rotate_degrees;
  auto report = [block](bool ok) { MainQueue().Async([block, ok] { block(ok); }); };
  if (HasSampleVideoAndAudioFile()) {
    movie_writing_queue_->Async([this, uuid, report] { report(StartLiveStreamWriting(uuid)); });
    return;
  }
  std::weak_ptr<std::atomic<bool>> alive = alive_;
  waiting_sample_ready_queue_->Async([this, alive, uuid, report] {
    bool samples_started = false;
    movie_writing_queue_->Sync([&] { samples_started = StartSampleFilesWriting(); });
    if (!samples_started) {
      report(false);
      return;
    }
    // The writers record the samples meanwhile. A publish that comes now waits until the
    // recording itself has started: its live task does not exist before.
    sample_start_pending_ = true;
    waiting_sample_ready_queue_->AsyncAfter(kSampleRecordingTime, [this, alive, uuid, report] {
      if (!Alive(alive)) return;
      bool ok = false;
      movie_writing_queue_->Sync(
          [&] { ok = StopSampleFilesWriting() && StartLiveStreamWriting(uuid); });
      report(ok);
      sample_start_pending_ = false;
      std::vector<std::function<void()>> deferred;
      deferred.swap(after_sample_start_);
      for (auto& step : deferred) step();
    });
  });
}

void MediaCaptureWriterHost::WaitForThumbnail(const std::string& path, int polls_left,
                                              std::function<void()> then) {
  if (polls_left <= 0 || platform::DefaultFileSystem().Exists(path)) {
    then();
    return;
  }
  std::weak_ptr<std::atomic<bool>> alive = alive_;
  platform::GlobalQueue().AsyncAfter(kThumbnailPollInterval, [this, alive, path, polls_left, then] {
    if (!Alive(alive)) return;
    WaitForThumbnail(path, polls_left - 1, then);
  });
}

void MediaCaptureWriterHost::PublishLiveMedia(const std::string& url,
                                              std::function<void(int)> block) {
  const std::string video_sample = RecordingFiles::SampleVideoFile();
  const std::string audio_sample = RecordingFiles::SampleAudioFile();
  const std::string token = shell::LoginUserInfoPreferences::AccessToken().value_or("");
  std::weak_ptr<std::atomic<bool>> alive = alive_;
  auto publish = [=, this] {
    std::string thumbnail;
    movie_writing_queue_->Sync(
        [&] { thumbnail = RecordingFiles::ThumbnailPath(video_writer_.output_path()); });
    platform::GlobalQueue().Async([=, this] {
      WaitForThumbnail(thumbnail, kThumbnailPolls, [=, this] {
        engine_queue_->Async([=, this] {
          if (!Alive(alive)) return;
          int result = kLiveTaskNotWired;
          if (hooks_.start_live_task) {
            result = hooks_.start_live_task(engine_side_->task, url, token, kFrameRate,
                                            video_sample, audio_sample);
          }
          MainQueue().Async([block, result] { block(result); });
        });
      });
    });
  };
  waiting_sample_ready_queue_->Async([this, publish] {
    if (sample_start_pending_) {
      after_sample_start_.push_back(publish);
    } else {
      publish();
    }
  });
}

void MediaCaptureWriterHost::StopWritingWithBlock(
    std::function<void(const StoppedRecording&)> block) {
  movie_writing_queue_->Async([this, block = std::move(block)] {
    auto stopped = std::make_shared<StoppedRecording>();
    stopped->video_path = video_writer_.output_path();
    stopped->audio_path = audio_writer_.output_path();
    StopLiveStreamWriting(stopped.get());
    MainQueue().Async([this, block, stopped] {
      if (hooks_.combine_to_library && CapturePreferences::SaveVideoToLocationLibraryFlag(
                                           shell::LoginUserInfoPreferences::UserId())) {
        hooks_.combine_to_library(stopped->video_path, video_rotate_degrees_, stopped->audio_path);
      }
      block(*stopped);
    });
  });
}

void MediaCaptureWriterHost::OpenFlashLED(std::function<void()> block) {
  movie_writing_queue_->Async([this, block = std::move(block)] {
    manager_.OpenFlashLED();
    MainQueue().Async(block);
  });
}

void MediaCaptureWriterHost::CloseFlashLED(std::function<void()> block) {
  movie_writing_queue_->Async([this, block = std::move(block)] {
    manager_.CloseFlashLED();
    MainQueue().Async(block);
  });
}

void MediaCaptureWriterHost::SwitchCamera(std::function<void()> block) {
  movie_writing_queue_->Async([this, block = std::move(block)] {
    manager_.SwitchCamera();
    SetupDataOutputs();
    const bool front = manager_.camera_position() == platform::CameraPosition::kFront;
    video_writer_.set_front_camera(front);
    if (front) manager_.CloseFlashLED();
    MainQueue().Async(block);
  });
}

void MediaCaptureWriterHost::SetFrontCamera(bool front) {
  movie_writing_queue_->Async([this, front] { video_writer_.set_front_camera(front); });
}

}  // namespace capture
