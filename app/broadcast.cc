#include "app/broadcast.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "app/recording_checks.h"
#include "app/service_job.h"
#include "app/streaming_engine.h"
#include "engine/streaming_library.h"
#include "platform/environment.h"
#include "platform/localization.h"
#include "platform/log.h"
#include "service/video_api_client.h"
#include "shell/geo.h"
#include "shell/login_user_info_preferences.h"
#include "shell/notification_names.h"
#include "shell/selvo_utils.h"
#include "store/storelib.h"

namespace app {

namespace {

using std::chrono::steady_clock;

// The store keeps an unknown position as this marker.
constexpr float kUnknownPosition = 2012.0f;

std::string Text(const char* key) { return platform::LocalizedString(key, key); }

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

VideoCounters VideoCounters::From(const platform::Value& meta) {
  return {meta["watcher_counter"].AsInt(), meta["liker_counter"].AsInt(),
          meta["comment_counter"].AsInt()};
}

bool VideoCounters::AnyGrewFrom(const VideoCounters& before) const {
  return watchers > before.watchers || likes > before.likes || comments > before.comments;
}

std::string ClockText(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  char text[32];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  return text;
}

Broadcast::Broadcast(BroadcastSettings settings, ApplicationHost::Finish finish)
    : settings_(std::move(settings)), finish_(std::move(finish)) {}

Broadcast::~Broadcast() {
  *alive_ = false;
  // The host's queues drain before the rest of this object goes.
  host_.reset();
}

void Broadcast::Say(const std::string& line) {
  if (progress_drawn_) {
    std::fprintf(stderr, "\n");
    progress_drawn_ = false;
  }
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

void Broadcast::Notice(const std::string& line) {
  if (progress_drawn_) {
    std::fprintf(stderr, "\n");
    progress_drawn_ = false;
  }
  std::fprintf(stderr, "selvo: %s\n", line.c_str());
  std::fflush(stderr);
}

void Broadcast::Start() {
  user_id_ = shell::LoginUserInfoPreferences::UserId();
  // The recording's publish data goes into the user's cache database, as the main screen
  // opens it after sign-in.
  const std::string documents = platform::DefaultEnvironment().DocumentsDirectory();
  if (!storelib::OpenStore(std::strtoull(user_id_.c_str(), nullptr, 10), documents)) {
    platform::Log("Open the cache database failed: " + documents);
  }
  LoadUserStreamingTasks(user_id_);
  // The listener of the engine's events, as the camera screen has one.
  engine_observer_ = std::make_unique<shell::SelvoStreamingTaskObserver>(engine_center_);
  engine_subscription_ = engine_center_.AddObserver(
      shell::kMediaLibraryNotification,
      [this](const platform::Notification& notification) { EngineEvent(notification); });
  RunOnEngine([observer = engine_observer_.get()] { selvo::AttachObserver(observer); });
  // Going to the background stops the recording, without telling the service.
  background_subscription_ = platform::NotificationCenter::Default().AddObserver(
      shell::kCloseMediaSourceNotification, [this](const platform::Notification&) {
        if (state_ != State::kRecording && state_ != State::kStarting) return;
        Notice("the application went to the background: the recording stops");
        Stop(false);
      });

  host_ =
      std::make_unique<capture::MediaCaptureWriterHost>(EngineQueue(), MakeLiveStreamingHooks());
  // A camera on a desk is upright in landscape: the track is not turned.
  host_->SetDeviceOrientation(static_cast<int>(shell::DeviceOrientation::kLandscapeLeft));
  host_->SetupCaptureWithBlock([this] { CaptureReady(); });
}

void Broadcast::CaptureReady() {
  if (state_ == State::kDone) return;
  if (!host_->setup_errors().empty()) {
    Notice("cannot record: " + host_->setup_errors().front());
    Finish(1);
    return;
  }
  if (stop_when_started_) {
    Notice("stopped before the recording started");
    Finish(1);
    return;
  }
  host_->OpenCaptpure();
  StartRecording();
}

void Broadcast::StartRecording() {
  uuid_ = platform::DefaultEnvironment().NewUuid();
  orientation_ =
      shell::SelvoUtils::Orientation(shell::DeviceOrientation::kLandscapeLeft,
                                     host_->camera_position() == platform::CameraPosition::kBack);
  rotate_degrees_ = std::atoi(orientation_.c_str());
  if (!host_->HasSampleVideoAndAudioFile()) {
    Say("samples: recording the sample files first (3 s)");
  }
  state_ = State::kStarting;
  host_->StartWritingWithVideoUuid(uuid_, rotate_degrees_, [this](bool ok) { WritingStarted(ok); });
  // The publish request goes out at the same time; its answer may come before or after
  // writing has started.
  SendPublish();
}

void Broadcast::SendPublish() {
  std::string title = Trimmed(settings_.title.value_or(""));
  if (title.empty()) title = shell::SelvoUtils::YyyyMMddHHmmssLocalTime();
  const std::optional<float> longitude = shell::Geo::GetLongitude();
  const std::optional<float> latitude = shell::Geo::GetLatitude();
  storelib::AppendVideoPublishData(
      uuid_, title, settings_.channel.value_or(""), longitude.value_or(kUnknownPosition),
      latitude.value_or(kUnknownPosition), rotate_degrees_, settings_.receivers);
  service::VideoAPIClient::Publish publish;
  publish.title = title;
  publish.channel = settings_.channel;
  publish.is_public = settings_.receivers.empty();
  publish.longitude = longitude;
  publish.latitude = latitude;
  publish.orientation = orientation_;
  if (!settings_.receivers.empty()) publish.acl = settings_.receivers;
  const uint32_t generation = publish_generation_;
  std::weak_ptr<bool> alive = alive_;
  service::VideoAPIClient::PublishVideo(
      publish,
      [this, alive, generation](const platform::Value& answer) {
        if (alive.lock()) PublishAnswered(generation, answer);
      },
      [this, alive, generation](const platform::Value& error) {
        if (alive.lock()) PublishFailed(generation, error);
      });
}

void Broadcast::WritingStarted(bool ok) {
  if (state_ == State::kDone) return;
  if (!ok) {
    Notice(Text("Start_Fail") + " (see --verbose for why)");
    Finish(1);
    return;
  }
  state_ = State::kRecording;
  if (settings_.lock) settings_.lock->SetTask(uuid_);
  Say("recording: " + uuid_);
  tick_timer_ = platform::DefaultDispatcher().ScheduleRepeating(
      platform::MainQueue(), std::chrono::seconds(1), [this] { Tick(); });
  if (settings_.duration_seconds) {
    std::weak_ptr<bool> alive = alive_;
    platform::MainQueue().AsyncAfter(std::chrono::seconds(*settings_.duration_seconds),
                                     [this, alive] {
                                       if (alive.lock() && state_ == State::kRecording) Stop(true);
                                     });
  }
  if (stop_when_started_) Stop(stop_tells_service_);
}

void Broadcast::PublishAnswered(uint32_t generation, const platform::Value& answer) {
  // A stop came first: the answer belongs to a broadcast that is over.
  if (generation != publish_generation_ || state_ == State::kDone) return;
  const std::string publish_url = answer["publish_url"].AsString();
  if (publish_url.empty()) {
    offline_reason_ = "the service's answer carried no ingest URL";
    Notice(offline_reason_ + "; the recording goes on without a live broadcast");
    return;
  }
  if (answer.Contains("_id")) {
    video_id_ = answer["_id"].AsString();
    RequestCounters();
    storelib::UpdateVideoIdForPublishData(uuid_, std::strtoull(video_id_->c_str(), nullptr, 10));
  } else {
    video_id_.reset();
  }
  Say("watch: " + answer["web_url"].AsString());
  Say("playlist: " + answer["play_url"].AsString() + ".m3u8");
  std::weak_ptr<bool> alive = alive_;
  host_->PublishLiveMedia(publish_url, [this, alive](int result) {
    if (alive.lock()) LiveTaskStarted(result);
  });
}

void Broadcast::PublishFailed(uint32_t generation, const platform::Value& error) {
  if (state_ == State::kDone) return;
  if (!shell::SelvoUtils::IsConnectedToNetwork()) {
    offline_reason_ = "there was no network for a live broadcast";
    Notice(Text("Cannot_Get_Play_Url") + " " + Text("Network_Abnormal_And_Continue"));
    return;
  }
  if (error["code"].AsInt() == 401) {
    InvalidSession();
    return;
  }
  if (generation != publish_generation_) return;
  offline_reason_ = "publishing failed: " + FailureText(error, settings_.server);
  Notice(offline_reason_ + "; the recording goes on without a live broadcast");
}

void Broadcast::LiveTaskStarted(int result) {
  if (state_ == State::kDone) return;
  if (result == 1) {
    live_ = true;
    return;
  }
  offline_reason_ = "the live upload did not start";
  Notice(offline_reason_ + "; the recording goes on");
}

void Broadcast::Tick() {
  ++ticks_;
  std::weak_ptr<bool> alive = alive_;
  RunOnEngine([this, alive] {
    selvo::StreamingTaskInfo info;
    if (!engine_task_ ||
        selvo::ReadStreamingTaskInfo(static_cast<selvo::StreamingTask*>(engine_task_), info) != 1) {
      return;
    }
    platform::MainQueue().Async([this, alive, info] {
      if (alive.lock()) ShowDurations(info.duration, info.seconds_uploaded);
    });
  });
  // The counters every 10 seconds of recording, once the video has its id.
  if (state_ == State::kRecording && ticks_ % 10 == 0 && video_id_) RequestCounters();
}

void Broadcast::ShowDurations(int32_t recorded, int32_t uploaded) {
  if (state_ == State::kDone) return;
  if (uploaded != last_uploaded_) {
    last_uploaded_ = uploaded;
    last_progress_at_ = steady_clock::now();
  }
  const std::string line = "recorded " + ClockText(recorded) + "  uploaded " + ClockText(uploaded);
  if (::isatty(STDERR_FILENO)) {
    std::fprintf(stderr, "\r%s", line.c_str());
    progress_drawn_ = true;
  } else {
    std::fprintf(stderr, "%s\n", line.c_str());
  }
  std::fflush(stderr);
  if (state_ == State::kUploading) CheckUploadProgress();
}

void Broadcast::CheckUploadProgress() {
  if (stall_stop_sent_ || steady_clock::now() - last_progress_at_ < kUploadStallTimeout) return;
  // The stop ends the worker; its report ends the wait with the recording in the queue.
  stall_stop_sent_ = true;
  offline_reason_ =
      "no piece was accepted for " + std::to_string(kUploadStallTimeout.count()) + " s";
  RunOnEngine([this] {
    if (engine_task_)
      selvo::StopFileStreamingTask(static_cast<selvo::StreamingTask*>(engine_task_));
  });
}

void Broadcast::RequestCounters() {
  if (!video_id_) return;
  const std::string vid = *video_id_;
  std::weak_ptr<bool> alive = alive_;
  service::VideoAPIClient::VideoMeta(
      vid,
      [this, alive, vid](const platform::Value& meta) {
        if (!alive.lock() || video_id_ != vid || state_ == State::kDone) return;
        const VideoCounters now = VideoCounters::From(meta);
        if (counters_ && !now.AnyGrewFrom(*counters_)) return;
        counters_ = now;
        Say("counters: " + std::to_string(now.watchers) + " watching, " +
            std::to_string(now.likes) + " likes, " + std::to_string(now.comments) + " comments");
      },
      [](const platform::Value& error) {
        platform::Log("Get video meta data failed: " + error["code"].AsString("none"));
      });
}

void Broadcast::InvalidSession() {
  if (state_ == State::kDone || invalid_session_) return;
  invalid_session_ = true;
  Notice(Text("$$$Invalid_AccessToken_Relogin") + " ('selvo login')");
  switch (state_) {
    case State::kSettingUp:
    case State::kStarting:
    case State::kRecording:
      Stop(false);
      break;
    case State::kUploading:
      EndInQueue("the service refused the sign-in");
      break;
    default:
      break;
  }
}

void Broadcast::Interrupt() {
  switch (state_) {
    case State::kSettingUp:
    case State::kStarting:
    case State::kRecording:
      Notice("stopping the broadcast (Ctrl-C again exits at once)");
      Stop(true);
      break;
    case State::kStopping:
    case State::kUploading:
      Notice("finishing the upload (Ctrl-C again exits at once; the upload can be resumed)");
      break;
    case State::kDone:
      break;
  }
}

void Broadcast::Stop(bool tell_service) {
  if (state_ == State::kSettingUp || state_ == State::kStarting) {
    // Writing has not started yet: stop as soon as it has.
    stop_when_started_ = true;
    stop_tells_service_ = stop_tells_service_ || tell_service;
    return;
  }
  if (state_ != State::kRecording) return;
  state_ = State::kStopping;
  ++publish_generation_;
  if (tell_service && video_id_) {
    ++pending_requests_;
    std::weak_ptr<bool> alive = alive_;
    auto answered = [this, alive](const platform::Value&) {
      if (!alive.lock()) return;
      --pending_requests_;
      if (state_ == State::kDone) FinishWhenIdle();
    };
    service::VideoAPIClient::TerminateVideo(*video_id_, std::nullopt, answered, answered);
  }
  host_->StopWritingWithBlock(
      [this](const capture::StoppedRecording& stopped) { WritingStopped(stopped); });
}

void Broadcast::WritingStopped(const capture::StoppedRecording& stopped) {
  if (state_ == State::kDone) return;
  host_->CloseCapture();
  // Files whose upload has finished go; the recording's own stay while it is queued (the
  // engine was told before this runs, on its queue).
  RunOnEngine([] { shell::SelvoUtils::DeleteUploadFinishedFile(); });
  char recorded[64] = "recorded: unknown length";
  if (auto seconds = RecordingDuration(stopped.video_path)) {
    std::snprintf(recorded, sizeof recorded, "recorded: %.2f s", *seconds);
  }
  Say(recorded);
  if (!stopped.video_finished || !stopped.audio_finished) {
    Notice("the recording files could not be finished (see --verbose for why)");
  }
  if (invalid_session_) {
    EndInQueue("the service refused the sign-in");
    return;
  }
  if (!live_) {
    EndInQueue(offline_reason_.empty() ? "the broadcast did not go live" : offline_reason_);
    return;
  }
  if (upload_result_ && *upload_result_ != selvo::kResultCompleted) {
    EndInQueue(*upload_result_ == selvo::kResultStopped
                   ? "the live upload was stopped"
                   : "the live upload failed: " + upload_message_);
    return;
  }
  state_ = State::kUploading;
  last_progress_at_ = steady_clock::now();
  Notice("uploading the rest of the recording");
  if (upload_completed_ && task_removed_) Complete();
}

void Broadcast::EngineEvent(const platform::Notification& notification) {
  // On the engine's queue.
  const platform::Value& event = notification.object;
  const auto type = static_cast<selvo::EventType>(event[shell::kEventTypeKey].AsInt());
  const auto value = static_cast<int32_t>(event[shell::kEventValueKey].AsInt());
  void* task = event[shell::kStreamingTaskPointerKey].AsPointer();
  if (type == selvo::kTaskCreated && value == 1) {
    // This process makes one live task: the broadcast's.
    if (!engine_task_) engine_task_ = task;
    return;
  }
  if (!engine_task_ || task != engine_task_) return;
  std::weak_ptr<bool> alive = alive_;
  if (type == selvo::kTaskFinished) {
    const std::string message = event[shell::kFailMessageKey].AsString();
    platform::MainQueue().Async([this, alive, value, message] {
      if (alive.lock()) TaskFinished(value, message);
    });
  } else if (type == selvo::kTaskRemoved) {
    platform::MainQueue().Async([this, alive] {
      if (alive.lock()) TaskRemoved();
    });
  }
}

void Broadcast::TaskFinished(int32_t result, const std::string& message) {
  if (state_ == State::kDone) return;
  upload_result_ = result;
  upload_message_ = message.empty() ? "result " + std::to_string(result) : message;
  if (result == selvo::kResultCompleted) {
    upload_completed_ = true;  // the removal follows
    return;
  }
  if (result == selvo::kErrorAccessToken) {
    InvalidSession();
    return;
  }
  if (state_ == State::kUploading) {
    EndInQueue(result == selvo::kResultStopped
                   ? (offline_reason_.empty() ? "the upload was stopped" : offline_reason_)
                   : "the upload failed: " + upload_message_);
    return;
  }
  if (result < 0 && state_ == State::kRecording) {
    Notice(upload_message_ + " The recording goes on.");
  }
}

void Broadcast::TaskRemoved() {
  task_removed_ = true;
  if (state_ == State::kUploading && upload_completed_) Complete();
}

void Broadcast::Complete() {
  // The finished recording is no longer needed here.
  RunOnEngine([] { shell::SelvoUtils::DeleteUploadFinishedFile(); });
  Say("broadcast complete: everything recorded was uploaded");
  Finish(0);
}

void Broadcast::EndInQueue(const std::string& why) {
  Notice(why + "; the recording stays in the upload queue as task " + uuid_ +
         " ('selvo queue start " + uuid_ + "' uploads it)");
  Finish(1);
}

void Broadcast::Finish(int status) {
  if (state_ == State::kDone) return;
  state_ = State::kDone;
  finish_status_ = status;
  tick_timer_.reset();
  background_subscription_.Cancel();
  if (host_) host_->CloseCapture();
  if (progress_drawn_) {
    std::fprintf(stderr, "\n");
    progress_drawn_ = false;
  }
  FinishWhenIdle();
}

void Broadcast::FinishWhenIdle() {
  // The service hears that the video ended before the process goes.
  if (pending_requests_ > 0 || finish_sent_) return;
  finish_sent_ = true;
  const int status = finish_status_;
  ApplicationHost::Finish finish = finish_;
  auto queue = EngineQueue();
  if (!queue) {
    finish(status);
    return;
  }
  // The observer leaves the engine before the engine is terminated.
  queue->Async([observer = engine_observer_.get(), finish, status] {
    if (EngineStarted()) selvo::DetachObserver(observer);
    platform::MainQueue().Async([finish, status] { finish(status); });
  });
}

}  // namespace app
