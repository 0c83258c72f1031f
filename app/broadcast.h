// Broadcast: one live broadcast from the command line, run as the camera screen runs it.
//
// Recording starts (after the sample files when they are missing) while the publish data
// is stored and the service is asked to publish; the service's answer gives the watch page
// and the playlist, and the live task starts uploading to its ingest URL. While recording,
// the recorded and uploaded durations are shown every second and the video's watcher, like
// and comment counters every 10 s. The broadcast stops at its duration, on Ctrl-C or
// SIGTERM (a second one exits at once), when the application goes to the background, or
// when the service refuses the sign-in. Stopping tells the service the video ended,
// finishes the recording files and signals the engine; then the broadcast waits until the
// engine's second pass has uploaded the rest and removed the task, cleans the finished
// recordings, and finishes with 0. A recording whose upload did not finish stays in the
// upload queue, and the broadcast finishes with 1 saying how to resume it.
//
// Everything runs on the main queue, except the engine's events (decided on the engine's
// queue, then handed to the main queue).
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/application_host.h"
#include "app/upload_queue_lock.h"
#include "capture/media_capture_writer_host.h"
#include "platform/dispatch.h"
#include "platform/notification_center.h"
#include "platform/value.h"
#include "shell/streaming_task_observers.h"

namespace app {

struct BroadcastSettings {
  std::optional<int> duration_seconds;  // none: until stopped
  std::optional<std::string> title;     // blank or none: the local time
  std::optional<std::string> channel;
  std::vector<std::string> receivers;  // a private broadcast's; empty: public
  std::string server;                  // for messages
  UploadQueueLock* lock = nullptr;     // told which task this process uploads
};

// The counters a video's metadata carries; a change is shown when any of them grew.
struct VideoCounters {
  int64_t watchers = 0;
  int64_t likes = 0;
  int64_t comments = 0;
  static VideoCounters From(const platform::Value& meta);
  bool AnyGrewFrom(const VideoCounters& before) const;
};

// "HH:MM:SS"; zero or negative gives "00:00:00".
std::string ClockText(int64_t seconds);

class Broadcast {
 public:
  Broadcast(BroadcastSettings settings, ApplicationHost::Finish finish);
  ~Broadcast();
  Broadcast(const Broadcast&) = delete;
  Broadcast& operator=(const Broadcast&) = delete;

  // Once the application runs, with the stored login installed on the service clients.
  void Start();
  // Ctrl-C or SIGTERM.
  void Interrupt();

  // How long the engine's second pass may go without an accepted piece before the
  // broadcast gives up waiting and leaves the recording in the upload queue.
  static constexpr auto kUploadStallTimeout = std::chrono::seconds(60);

 private:
  enum class State { kSettingUp, kStarting, kRecording, kStopping, kUploading, kDone };

  void CaptureReady();
  void StartRecording();
  void WritingStarted(bool ok);
  void SendPublish();
  void PublishAnswered(uint32_t generation, const platform::Value& answer);
  void PublishFailed(uint32_t generation, const platform::Value& error);
  void LiveTaskStarted(int result);
  void Tick();
  void ShowDurations(int32_t recorded, int32_t uploaded);
  void RequestCounters();
  void InvalidSession();
  void Stop(bool tell_service);
  void WritingStopped(const capture::StoppedRecording& stopped);
  void CheckUploadProgress();
  // On the engine's queue.
  void EngineEvent(const platform::Notification& notification);
  // Back on the main queue.
  void TaskFinished(int32_t result, const std::string& message);
  void TaskRemoved();
  void Complete();
  void EndInQueue(const std::string& why);
  void Finish(int status);
  // Hands the status to the application once no service request is pending.
  void FinishWhenIdle();
  void Say(const std::string& line);     // stdout
  void Notice(const std::string& line);  // stderr, "selvo: ..."

  const BroadcastSettings settings_;
  ApplicationHost::Finish finish_;
  std::string user_id_;
  std::unique_ptr<capture::MediaCaptureWriterHost> host_;
  State state_ = State::kSettingUp;
  bool stop_when_started_ = false;
  bool stop_tells_service_ = false;
  std::string uuid_;
  int rotate_degrees_ = 0;
  std::string orientation_;
  // The generation of the broadcast's publish request; a stop moves it on, so that a
  // late answer is ignored.
  uint32_t publish_generation_ = 0;
  std::optional<std::string> video_id_;
  std::optional<VideoCounters> counters_;
  bool live_ = false;           // the live task was started on the ingest URL
  std::string offline_reason_;  // why it was not (or no longer) live
  bool invalid_session_ = false;
  // How the task's upload ended, once it did (a result of the engine).
  std::optional<int32_t> upload_result_;
  std::string upload_message_;
  bool upload_completed_ = false;
  bool task_removed_ = false;
  bool stall_stop_sent_ = false;
  int pending_requests_ = 0;
  bool finish_sent_ = false;
  int finish_status_ = 0;
  int ticks_ = 0;
  bool progress_drawn_ = false;
  int32_t last_uploaded_ = -1;    // as last shown
  int32_t uploaded_seconds_ = 0;  // as the engine reported
  std::chrono::steady_clock::time_point last_progress_at_;
  std::unique_ptr<platform::Timer> tick_timer_;
  // Cleared when the broadcast goes: deferred blocks that find it cleared do nothing.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);

  // The listener of the engine's events: a private centre and the observer posting to it.
  platform::NotificationCenter engine_center_;
  std::unique_ptr<shell::SelvoStreamingTaskObserver> engine_observer_;
  platform::NotificationCenter::Subscription engine_subscription_;
  platform::NotificationCenter::Subscription background_subscription_;
  // The live task, remembered from its creation; engine's queue only.
  void* engine_task_ = nullptr;
};

}  // namespace app
