#include "app/upload_runner.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "app/streaming_engine.h"
#include "platform/localization.h"
#include "shell/login_user_info_preferences.h"
#include "shell/streaming_task_observers.h"

namespace app {

namespace {

constexpr auto kProgressInterval = std::chrono::milliseconds(500);
constexpr uint32_t kFrameRate = 10;

int64_t FileSize(const std::string& path) {
  struct stat info;
  return !path.empty() && ::stat(path.c_str(), &info) == 0 ? info.st_size : 0;
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
    platform::MainQueue().Async([this, id = info.id] {
      Fail("task " + id + " has no upload URL yet; upload its recording with 'selvo upload --url'");
    });
    return;
  }
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
  const std::string video_sample =
      request_.video_sample.empty() ? info.video_path : request_.video_sample;
  const std::string audio_sample =
      request_.audio_sample.empty() ? info.audio_path : request_.audio_sample;
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
    finish_(0);
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

void UploadRunner::Fail(const std::string& message) {
  if (finished_) return;
  timer_.reset();
  if (drawn_) std::fprintf(stderr, "\n");
  finished_ = true;
  std::fprintf(stderr, "selvo: %s\n", message.c_str());
  finish_(1);
}

}  // namespace app
