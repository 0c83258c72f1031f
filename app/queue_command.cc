// selvo queue: the signed-in user's upload queue, through the streaming engine.
//   selvo queue [list]     the stored tasks
//   selvo queue start ID   uploads the task to its stored URL (as selvo upload does); a
//                          recording never published is published first
//   selvo queue stop ID    stops it (in the selvo process that uploads it)
//   selvo queue rm ID      removes it from the queue (its recordings stay)
// ID is a task's id or the start of one.
#include <signal.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/application_host.h"
#include "app/args.h"
#include "app/command.h"
#include "app/streaming_engine.h"
#include "app/upload_queue_lock.h"
#include "app/upload_runner.h"
#include "engine/streaming_library.h"
#include "platform/dispatch.h"
#include "platform/environment.h"
#include "shell/login_user_info_preferences.h"
#include "shell/session.h"

namespace app {

namespace {

constexpr int kStopWaitSeconds = 60;

const char* StateText(int32_t state) {
  switch (state) {
    case selvo::kDisplayFinished:
      return "finished";
    case selvo::kDisplayStopped:
      return "stopped";
    case selvo::kDisplayRunning:
      return "uploading";
    case selvo::kDisplayFailed:
      return "failed";
    default:
      return "?";
  }
}

std::string OrDash(const std::string& text) { return text.empty() ? "-" : text; }

// The queue's tasks with video (the ones it shows), read on the engine's queue.
std::vector<selvo::StreamingTaskInfo> ReadTasks() {
  std::vector<selvo::StreamingTaskInfo> infos;
  for (int i = 0; i < selvo::GetFileStreamingTasksNum(); ++i) {
    selvo::StreamingTaskInfo info;
    if (selvo::StreamingTask* task = selvo::GetNthFileStreamingTask(i)) {
      if (selvo::ReadStreamingTaskInfo(task, info) == 1) infos.push_back(info);
    }
  }
  return infos;
}

// The one task whose id starts with `id`; null with `problem` otherwise.
selvo::StreamingTask* FindTask(const std::string& id, std::string* problem) {
  selvo::StreamingTask* match = nullptr;
  for (int i = 0; selvo::StreamingTask* task = selvo::GetNthFileStreamingTask(i); ++i) {
    selvo::StreamingTaskInfo info;
    if (selvo::ReadStreamingTaskInfo(task, info) != 1 || info.id.compare(0, id.size(), id) != 0) {
      continue;
    }
    if (match) {
      *problem = "'" + id + "' names more than one task; give more of its id";
      return nullptr;
    }
    match = task;
  }
  if (!match) *problem = "no task '" + id + "' in the upload queue (see 'selvo queue list')";
  return match;
}

void PrintTasks(const std::vector<selvo::StreamingTaskInfo>& infos,
                const std::optional<UploadQueueLock::Holder>& holder) {
  if (infos.empty()) {
    std::printf("the upload queue is empty\n");
    return;
  }
  std::printf("%-36s  %-9s  %8s  %10s  %8s  %-19s  %-19s\n", "ID", "STATE", "UPLOADED", "BYTES",
              "DURATION", "START", "END");
  for (const auto& info : infos) {
    const bool uploading = holder && !holder->task_id.empty() && holder->task_id == info.id;
    std::printf("%-36s  %-9s  %6d s  %10s  %6d s  %-19s  %-19s%s\n", info.id.c_str(),
                uploading ? "uploading" : StateText(info.state), info.seconds_uploaded,
                SizeText(info.bytes_processed).c_str(), info.duration,
                OrDash(info.start_time).c_str(), OrDash(info.end_time).c_str(),
                uploading ? ("  (process " + std::to_string(holder->pid) + ")").c_str() : "");
  }
}

// Runs `work` on the engine's queue after loading the user's tasks; it returns the exit
// status and prints what it has to say.
int RunOnQueue(ApplicationHost& host, const std::string& user, std::function<int()> work) {
  return host.Run([user, work = std::move(work)](ApplicationHost::Finish finish) {
    const bool submitted = RunOnEngine([user, work, finish] {
      selvo::LoadStreamingTasksFromDisk(UserHexText(user).c_str());
      const int status = work();
      std::fflush(stdout);
      platform::MainQueue().Async([finish, status] { finish(status); });
    });
    if (!submitted) finish(1);
  });
}

// Runs `work` on the engine's queue with the task `id` names; a name that matches no task,
// or more than one, is said on stderr and exits 1.
int RunOnTask(ApplicationHost& host, const std::string& user, const std::string& id,
              std::function<int(selvo::StreamingTask*)> work) {
  return RunOnQueue(host, user, [id, work = std::move(work)] {
    std::string problem;
    selvo::StreamingTask* task = FindTask(id, &problem);
    if (!task) {
      std::fprintf(stderr, "selvo: %s\n", problem.c_str());
      return 1;
    }
    return work(task);
  });
}

// Asks the selvo process that uploads `id` to stop (it saves the queue as it ends) and
// waits for it. False when it did not end in time.
bool StopUploadingProcess(const UploadQueueLock::Holder& holder, const std::string& documents,
                          const std::string& user_hex, std::unique_ptr<UploadQueueLock>* lock) {
  std::fprintf(stderr, "selvo: stopping the upload in process %d\n", static_cast<int>(holder.pid));
  if (::kill(holder.pid, SIGTERM) != 0) return false;
  *lock = UploadQueueLock::Take(documents, user_hex, kStopWaitSeconds);
  return *lock != nullptr;
}

}  // namespace

int QueueCommand(const GlobalOptions& options, const std::vector<std::string>& args) {
  ArgParser parser;
  parser.Value("token").Value("user").Value("video-sample").Value("audio-sample");
  if (!parser.Parse(args)) return UsageError(parser.error());
  const std::vector<std::string>& words = parser.positional();
  const std::string action = words.empty() ? "list" : words[0];
  if (action != "list" && action != "start" && action != "stop" && action != "rm") {
    return UsageError("unknown queue action '" + action + "' (list, start, stop or rm)");
  }
  if (action == "list" ? words.size() > 1 : words.size() != 2) {
    return UsageError(action == "list" ? "queue list takes no task id"
                                       : "queue " + action + " needs one task id");
  }
  if (action != "start" &&
      (parser.Has("token") || parser.Has("video-sample") || parser.Has("audio-sample"))) {
    return UsageError("--token and the sample options go with 'queue start'");
  }
  const std::string id = words.size() > 1 ? words[1] : "";

  ApplicationHost host(options);
  std::string user;
  std::string token;
  std::string error;
  if (!ResolveUploadAccount(parser, action == "start" ? &token : nullptr, &user, &error)) {
    return UsageError(error);
  }
  const std::string documents = platform::DefaultEnvironment().DocumentsDirectory();
  const std::string user_hex = UserHexText(user);
  std::optional<UploadQueueLock::Holder> holder;
  std::unique_ptr<UploadQueueLock> lock = UploadQueueLock::TryTake(documents, user_hex, &holder);

  if (action == "list") {
    // Listing changes nothing, so it may look while another process uploads.
    const std::optional<UploadQueueLock::Holder> uploading = lock ? std::nullopt : holder;
    return RunOnQueue(host, user, [uploading] {
      PrintTasks(ReadTasks(), uploading);
      return 0;
    });
  }

  const bool held_for_this =
      !lock && holder && !holder->task_id.empty() && holder->task_id.compare(0, id.size(), id) == 0;
  if (action == "stop") {
    if (held_for_this) {
      if (!StopUploadingProcess(*holder, documents, user_hex, &lock)) {
        return Failure("process " + std::to_string(holder->pid) + " did not stop");
      }
    } else if (!lock) {
      return Failure("task '" + id + "' is not uploading (another selvo process uploads " +
                     (holder ? holder->task_id : std::string("a task")) + ")");
    }
    return RunOnTask(host, user, id, [](selvo::StreamingTask* task) {
      selvo::StopFileStreamingTask(task);
      selvo::StreamingTaskInfo info;
      selvo::ReadStreamingTaskInfo(task, info);
      std::printf("%s %s after %d s\n", info.id.c_str(), StateText(info.state),
                  info.seconds_uploaded);
      return 0;
    });
  }

  if (!lock && held_for_this && action == "rm") {
    if (!StopUploadingProcess(*holder, documents, user_hex, &lock)) {
      return Failure("process " + std::to_string(holder->pid) + " did not stop");
    }
  }
  if (!lock) {
    return Failure("another selvo process" +
                   (holder ? " (process " + std::to_string(holder->pid) + ")" : std::string()) +
                   " is uploading from this upload queue; wait for it or stop it with "
                   "'selvo queue stop ID'");
  }

  if (action == "rm") {
    return RunOnTask(host, user, id, [](selvo::StreamingTask* task) {
      selvo::StreamingTaskInfo info;
      selvo::ReadStreamingTaskInfo(task, info);
      selvo::RemoveFileStreamingTask(task);
      std::printf("removed %s (its recordings stay: %s, %s)\n", info.id.c_str(),
                  OrDash(info.video_path).c_str(), OrDash(info.audio_path).c_str());
      return 0;
    });
  }

  // start
  UploadRequest request;
  request.user_id = user;
  request.access_token = token;
  request.task_id = id;
  request.video_sample = parser.GetOr("video-sample", "");
  request.audio_sample = parser.GetOr("audio-sample", "");
  // The signed-in user's own recordings that were never published are published first.
  request.publish_unpublished = user == shell::LoginUserInfoPreferences::UserId() &&
                                shell::LoginUserInfoPreferences::AccessToken().has_value();
  std::unique_ptr<UploadRunner> runner;
  const int status = host.Run([&](ApplicationHost::Finish finish) {
    if (request.publish_unpublished) shell::InstallStoredLogin();
    runner = std::make_unique<UploadRunner>(request, lock.get(), std::move(finish));
    runner->Start();
  });
  if (status > 128) {
    std::fprintf(stderr, "selvo: interrupted; 'selvo queue start %s' resumes the upload\n",
                 id.c_str());
  }
  return status;
}

}  // namespace app
