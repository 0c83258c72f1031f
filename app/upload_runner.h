// UploadRunner: drives one file task of the upload queue to its end inside a running
// application, as the upload queue screen does, and shows its progress on stderr.
//
// On the engine's queue it loads the user's tasks, finds the task (by id, or by its
// recording files, adding the recording to the queue when it is not there yet), starts it
// and follows its events. The application finishes with 0 once the engine removed the
// completed task, with 1 when the upload failed (after printing the display text of the
// failure) or stopped. Interrupted, the application's termination stops the task and
// saves the queue, so that running again resumes after the last accepted piece.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "app/application_host.h"
#include "app/args.h"
#include "app/upload_queue_lock.h"
#include "engine/streaming_library.h"
#include "platform/dispatch.h"

namespace app {

struct UploadRequest {
  std::string user_id;  // decimal
  std::string access_token;
  // The task: `task_id` when given, else the queued task of these recordings (added when
  // missing; `video_path` empty for audio only).
  std::string task_id;
  std::string video_path;
  std::string audio_path;
  std::string url;  // empty: the task's stored URL
  std::string video_sample;
  std::string audio_sample;
  std::string new_task_id;  // the id of a task added to the queue
};

class UploadRunner final : public selvo::IObserver {
 public:
  UploadRunner(UploadRequest request, UploadQueueLock* lock, ApplicationHost::Finish finish);
  ~UploadRunner() override;

  // On the main queue, once the application runs.
  void Start();

  // IObserver, on the engine's queue.
  void Update(selvo::EventType event, void* task, int32_t value, const std::string& url) override;

 private:
  struct Progress {
    int32_t seconds = 0;
    int64_t bytes = 0;
  };
  // On the engine's queue.
  void StartOnEngine();
  selvo::StreamingTask* FindTask(std::string* problem);
  // On the main queue.
  void Started(const std::string& id, const std::string& url, Progress from, int64_t total);
  void Show(Progress progress);
  void Done(int32_t result);
  void Fail(const std::string& message);

  const UploadRequest request_;
  UploadQueueLock* lock_;
  ApplicationHost::Finish finish_;
  // Engine's queue only.
  selvo::StreamingTask* task_ = nullptr;
  bool completed_ = false;
  // Main queue only.
  std::unique_ptr<platform::Timer> timer_;
  bool finished_ = false;
  bool drawn_ = false;
  int32_t shown_seconds_ = -1;
  Progress start_;
  int64_t total_bytes_ = 0;
  std::chrono::steady_clock::time_point started_at_;
};

// The account of --token and --user, else of the signed-in user. `token` may be null when
// no token is needed. False with `error` when one is missing.
bool ResolveUploadAccount(const ArgParser& parser, std::string* token, std::string* user,
                          std::string* error);

// "12.3 kB", "4.56 MB".
std::string SizeText(double bytes);

}  // namespace app
