#include "app/upload_runner.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "app/recording_checks.h"
#include "app/service_job.h"
#include "app/streaming_engine.h"
#include "platform/environment.h"
#include "platform/localization.h"
#include "platform/log.h"
#include "service/service_http_client.h"
#include "service/video_api_client.h"
#include "shell/login_user_info_preferences.h"
#include "shell/selvo_utils.h"
#include "shell/session.h"
#include "shell/streaming_task_observers.h"
#include "store/storelib.h"

namespace app {

namespace {

constexpr auto kProgressInterval = std::chrono::milliseconds(500);
constexpr uint32_t kFrameRate = 10;

int64_t FileSize(const std::string& path) {
  struct stat info;
  return !path.empty() && ::stat(path.c_str(), &info) == 0 ? info.st_size : 0;
}

// Samples not given: the recordings themselves when they are finished files the engine
// can read its parameters from; else the recorder's sample files (a recording whose
// recorder died has no index), when they are valid.
void DefaultSampleFiles(const selvo::StreamingTaskInfo& info, std::string* video_sample,
                        std::string* audio_sample) {
  const bool audio_only = info.video_path.empty();
  const bool own = audio_only ? selvo::CheckAudioSampleFile(info.audio_path.c_str()) == 1
                              : CheckSampleFiles(info.video_path, info.audio_path);
  const bool recorder = !own && (audio_only ? shell::SelvoUtils::HasSampleAudioFile()
                                            : shell::SelvoUtils::HasSampleVideoAndAudioFile());
  if (video_sample->empty()) {
    *video_sample = recorder ? shell::SelvoUtils::SampleVideoFile() : info.video_path;
  }
  if (audio_sample->empty()) {
    *audio_sample = recorder ? shell::SelvoUtils::SampleAudioFile() : info.audio_path;
  }
}

}  // namespace

bool ResolveUploadAccount(const ArgParser& parser, std::string* token, std::string* user,
                          std::string* error) {
  if (token) {
    if (auto given = parser.Get("token")) {
      *token = *given;
    } else if (auto stored = shell::LoginUserInfoPreferences::AccessToken()) {
      *token = *stored;
    }
    if (token->empty()) {
      *error = "nobody is signed in: give the access token with --token T";
      return false;
    }
  }
  if (auto given = parser.Get("user")) {
    *user = *given;
  } else if (std::string stored = shell::LoginUserInfoPreferences::UserId(); stored != "(null)") {
    *user = stored;
  }
  if (user->empty()) {
    *error = "nobody is signed in: give the user id with --user ID";
    return false;
  }
  return true;
}

std::string SizeText(double bytes) {
  char text[32];
  if (bytes < 1e6) {
    std::snprintf(text, sizeof(text), "%.1f kB", bytes / 1e3);
  } else {
    std::snprintf(text, sizeof(text), "%.2f MB", bytes / 1e6);
  }
  return text;
}

UploadRunner::UploadRunner(UploadRequest request, UploadQueueLock* lock,
                           ApplicationHost::Finish finish)
    : request_(std::move(request)), lock_(lock), finish_(std::move(finish)) {}

UploadRunner::~UploadRunner() = default;

void UploadRunner::Start() {
  if (!RunOnEngine([this] { StartOnEngine(); })) Fail("the application did not start");
}

selvo::StreamingTask* UploadRunner::FindTask(std::string* problem) {
  selvo::StreamingTask* match = nullptr;
  for (int i = 0; selvo::StreamingTask* task = selvo::GetNthFileStreamingTask(i); ++i) {
    selvo::StreamingTaskInfo info;
    selvo::ReadStreamingTaskInfo(task, info);
    const bool same =
        request_.task_id.empty()
            ? info.video_path == request_.video_path && info.audio_path == request_.audio_path
            : info.id.compare(0, request_.task_id.size(), request_.task_id) == 0;
    if (!same) continue;
    if (match) {
      *problem = "'" + request_.task_id + "' names more than one task; give more of its id";
      return nullptr;
    }
    match = task;
  }
  if (!match && !request_.task_id.empty()) {
    *problem = "no task '" + request_.task_id + "' in the upload queue (see 'selvo queue list')";
  }
  return match;
}

void UploadRunner::StartOnEngine() {
  selvo::LoadStreamingTasksFromDisk(UserHexText(request_.user_id).c_str());
  std::string problem;
  selvo::StreamingTask* task = FindTask(&problem);
  if (!problem.empty()) {
    platform::MainQueue().Async([this, problem] { Fail(problem); });
    return;
  }
  if (!task) {
    // A recording not queued yet: it joins the queue as a finished recording would.
    task = selvo::NewLiveStreamingTask(request_.new_task_id.c_str(), request_.video_path.c_str(),
                                       request_.audio_path.c_str());
    selvo::SendRecorderStoppedSignal(task);
  }
  selvo::StreamingTaskInfo info;
  selvo::ReadStreamingTaskInfo(task, info);
  const std::string url = request_.url.empty() ? info.url : request_.url;
  if (url.empty()) {
    if (request_.publish_unpublished) {
      // Never published (recorded without a live broadcast): published first, with the
      // publish data stored when it was recorded.
      platform::MainQueue().Async([this, task, info] { PublishThenStart(task, info); });
      return;
    }
    platform::MainQueue().Async([this, id = info.id] {
      Fail("task " + id + " has no upload URL yet; upload its recording with 'selvo upload --url'");
    });
    return;
  }
  StartTask(task, info, url);
}

void UploadRunner::PublishThenStart(selvo::StreamingTask* task, selvo::StreamingTaskInfo info) {
  if (finished_) return;
  if (!storelib::IsStoreOpen()) {
    storelib::OpenStore(std::strtoull(request_.user_id.c_str(), nullptr, 10),
                        platform::DefaultEnvironment().DocumentsDirectory());
  }
  service::VideoAPIClient::Publish publish;
  storelib::VideoPublishData data;
  if (storelib::GetVideoPublishData(info.id, &data)) {
    if (!data.title.empty()) publish.title = data.title;
    if (!data.channel.empty()) publish.channel = data.channel;
    // The marker of an unknown place (2012) is not sent.
    if (data.longitude < 360 && data.latitude < 360) {
      publish.longitude = static_cast<float>(data.longitude);
      publish.latitude = static_cast<float>(data.latitude);
    }
    publish.orientation = std::to_string(data.rotationDegree);
    if (!data.receivers.empty()) {
      publish.acl = std::vector<std::string>(data.receivers.rbegin(), data.receivers.rend());
    }
  }
  publish.is_public = !publish.acl;
  if (auto start = shell::SelvoUtils::YyyyMMddHHmmssToSecondsSince1970(info.start_time)) {
    publish.record_time = static_cast<int64_t>(*start);
  }
  std::fprintf(stderr, "selvo: publishing task %s first (it was not broadcast live)\n",
               info.id.c_str());
  service::VideoAPIClient::PublishVideo(
      publish,
      [this, task, info](const platform::Value& answer) {
        const std::string url = answer["publish_url"].AsString();
        if (url.empty()) {
          Fail("the service's answer carried no ingest URL");
          return;
        }
        if (answer.Contains("_id")) {
          storelib::UpdateVideoIdForPublishData(info.id,
                                                static_cast<uint64_t>(answer["_id"].AsInt()));
        }
        if (!RunOnEngine([this, task, info, url] { StartTask(task, info, url); })) {
          Fail("the application did not start");
        }
      },
      [this](const platform::Value& error) {
        if (error["code"].AsInt() == 401) {
          Fail(platform::LocalizedString("Invalid_AccessToken", "Invalid_AccessToken"));
        } else {
          Fail("publish failed: " +
               FailureText(error, service::ServiceHTTPClient::ServiceBaseUrl()));
        }
      });
}

void UploadRunner::StartTask(selvo::StreamingTask* task, const selvo::StreamingTaskInfo& info,
                             const std::string& url) {
  if (!info.url.empty() && info.url != url) {
    // Its progress belongs to another upload stream.
    platform::MainQueue().Async([this, id = info.id, stored = info.url] {
      Fail("this recording is queued for upload to " + stored + "; remove task " + id +
           " first ('selvo queue rm " + id + "') to upload it elsewhere");
    });
    return;
  }
  task_ = task;
  selvo::AttachObserver(this);
  if (lock_) lock_->SetTask(info.id);
  // A recording left by a recorder that died is uploaded as far as it was written.
  for (const std::string& path : {info.video_path, info.audio_path}) {
    if (!path.empty() && SealUnfinishedRecording(path)) {
      platform::Log("upload: " + path + " was not finished; uploading what it holds");
    }
  }
  std::string video_sample = request_.video_sample;
  std::string audio_sample = request_.audio_sample;
  DefaultSampleFiles(info, &video_sample, &audio_sample);
  const int started =
      info.video_path.empty()
          ? selvo::StartFileStreamingTask(task, url.c_str(), request_.access_token.c_str(),
                                          audio_sample.c_str())
          : selvo::StartFileStreamingTask(task, url.c_str(), request_.access_token.c_str(),
                                          kFrameRate, video_sample.c_str(), audio_sample.c_str());
  if (!started) {
    platform::MainQueue().Async(
        [this, video_sample, audio_sample, audio_only = info.video_path.empty()] {
          Fail("cannot read the media parameters of " +
               (audio_only ? audio_sample : video_sample + " and " + audio_sample) +
               " (H.264 video and AAC audio are needed)");
        });
    return;
  }
  const Progress from{info.seconds_uploaded, info.bytes_processed};
  const int64_t total = FileSize(info.video_path) + FileSize(info.audio_path);
  platform::MainQueue().Async(
      [this, id = info.id, url, from, total] { Started(id, url, from, total); });
}

void UploadRunner::Started(const std::string& id, const std::string& url, Progress from,
                           int64_t total) {
  if (finished_) return;
  start_ = from;
  total_bytes_ = total;
  started_at_ = std::chrono::steady_clock::now();
  std::fprintf(stderr, "selvo: uploading task %s to %s%s\n", id.c_str(), url.c_str(),
               from.seconds > 0 ? (" from second " + std::to_string(from.seconds)).c_str() : "");
  Show(from);
  timer_ = platform::DefaultDispatcher().ScheduleRepeating(
      platform::MainQueue(), kProgressInterval, [this] {
        RunOnEngine([this] {
          selvo::StreamingTaskInfo info;
          if (!task_ || selvo::ReadStreamingTaskInfo(task_, info) != 1) return;
          const Progress now{info.seconds_uploaded, info.bytes_processed};
          platform::MainQueue().Async([this, now] { Show(now); });
        });
      });
}

void UploadRunner::Show(Progress progress) {
  if (finished_ || progress.seconds == shown_seconds_) return;
  shown_seconds_ = progress.seconds;
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started_at_).count();
  const double rate =
      elapsed > 0.05 ? static_cast<double>(progress.bytes - start_.bytes) / elapsed : 0;
  const int percent =
      total_bytes_ > 0
          ? static_cast<int>(std::min<int64_t>(progress.bytes * 100 / total_bytes_, 100))
          : 0;
  char line[160];
  std::snprintf(line, sizeof(line), "%6d s uploaded  %10s  %10s/s  %3d%%", progress.seconds,
                SizeText(static_cast<double>(progress.bytes)).c_str(), SizeText(rate).c_str(),
                percent);
  if (::isatty(STDERR_FILENO)) {
    std::fprintf(stderr, "\r%s", line);
    drawn_ = true;
  } else {
    std::fprintf(stderr, "%s\n", line);
  }
  std::fflush(stderr);
}

void UploadRunner::Update(selvo::EventType event, void* task, int32_t value,
                          const std::string& /*url*/) {
  if (task != task_) return;
  if (event == selvo::kTaskFinished) {
    if (value == selvo::kResultCompleted) {
      completed_ = true;  // the removal follows
      selvo::ReadStreamingTaskInfo(static_cast<selvo::StreamingTask*>(task), finished_info_);
    } else {
      platform::MainQueue().Async([this, value] { Done(value); });
    }
  } else if (event == selvo::kTaskRemoved) {
    task_ = nullptr;
    if (completed_) platform::MainQueue().Async([this] { Done(selvo::kResultCompleted); });
  }
}

void UploadRunner::Done(int32_t result) {
  if (finished_) return;
  timer_.reset();
  if (drawn_) std::fprintf(stderr, "\n");
  finished_ = true;
  if (result == selvo::kResultCompleted) {
    std::printf("upload complete\n");
    std::fflush(stdout);
    AfterCompletion();
    return;
  }
  if (result == selvo::kResultStopped) {
    std::fprintf(stderr, "selvo: the upload stopped; run the same command again to resume it\n");
  } else {
    const char* key = shell::FailMessageKey(selvo::kTaskFinished, result);
    std::fprintf(stderr, "selvo: upload failed: %s\n", platform::LocalizedString(key, key).c_str());
  }
  finish_(1);
}

void UploadRunner::AfterCompletion() {
  // As the upload queue does for the signed-in user: the service hears that the video is
  // complete, with the recording's end time, and the finished recording is cleaned away.
  const bool signed_in =
      shell::LoginUserInfoPreferences::UserId() == request_.user_id && shell::InstallStoredLogin();
  ApplicationHost::Finish finish = finish_;
  auto clean_and_finish = [finish, signed_in] {
    const bool submitted = signed_in && RunOnEngine([finish] {
                             shell::SelvoUtils::DeleteUploadFinishedFile();
                             platform::MainQueue().Async([finish] { finish(0); });
                           });
    if (!submitted) finish(0);
  };
  const std::optional<std::string> vid = shell::SelvoUtils::ParseVideoID(finished_info_.url);
  if (!signed_in || !vid) {
    if (signed_in) platform::Log("Parse video ID failed: " + finished_info_.url);
    clean_and_finish();
    return;
  }
  std::optional<int64_t> end;
  if (auto seconds = shell::SelvoUtils::YyyyMMddHHmmssToSecondsSince1970(finished_info_.end_time)) {
    end = static_cast<int64_t>(*seconds);
  }
  service::VideoAPIClient::TerminateVideo(
      *vid, end, [clean_and_finish](const platform::Value&) { clean_and_finish(); },
      [clean_and_finish](const platform::Value& error) {
        platform::Log("upload failure = " + error["code"].AsString("none"));
        clean_and_finish();
      });
}

void UploadRunner::Fail(const std::string& message) {
  if (finished_) return;
  timer_.reset();
  if (drawn_) std::fprintf(stderr, "\n");
  finished_ = true;
  std::fprintf(stderr, "selvo: %s\n", message.c_str());
  finish_(1);
}

}  // namespace app
