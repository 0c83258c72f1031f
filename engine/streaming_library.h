// The streaming engine's front: the free functions the application calls, the events it
// receives and the description of a task it displays.
//
// The engine keeps one task manager for the process. A live task uploads a recording
// while the recorder still writes it; once the recorder stops, the task becomes a file
// task in the upload queue, which survives restarts in text files in the data directory
// and can be started, stopped and removed. One task uploads at a time; a started task
// waits while another runs, and a live start pre-empts a running file task.
//
// The engine has no lock of its own: every call below is made from blocks of the one
// serial queue given to InitStreamingLibrary, and the engine delivers its events there
// too. Worker threads share only their stop flags and progress with that queue.
//
//   selvo::InitStreamingLibrary(submit_to_queue, documents, user_agent);
//   // on the queue:
//   selvo::LoadStreamingTasksFromDisk(user_hex);
//   selvo::StreamingTask* task = selvo::NewLiveStreamingTask(uuid, video, audio);
//   selvo::StartLiveStreamingTask(task, url, token, 10, video_sample, audio_sample);
//   ...
//   selvo::SendRecorderStoppedSignal(task);  // the worker finishes the upload
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/media_segmenter.h"
#include "engine/piece_sink.h"
#include "engine/streaming_result.h"
#include "engine/worker_waiter.h"

namespace selvo {

class StreamingTask;

enum EventType : int {
  kTaskFinished = 0,      // a worker ended (value: a StreamingResult), or a waiting task stopped
  kTaskCreated = 1,       // NewLiveStreamingTask (value 1)
  kTaskRemoved = 2,       // a file task left the upload queue (value 0)
  kSecondsUploaded = 3,   // a piece was accepted (value: seconds uploaded with it)
  kBytesTransferred = 4,  // a piece was accepted (value: media bytes consumed so far)
  kTaskStateChanged = 5,  // a task started (value 1); a live task was created, detached or
                          // stopped (value 0)
};

// Receives every event of the engine, on the engine's queue. `task` is the
// StreamingTask*; `url` the task's upload URL at the time of the event (empty for a live
// task not started yet).
class IObserver {
 public:
  virtual ~IObserver() = default;
  virtual void Update(EventType event, void* task, int32_t value, const std::string& url) = 0;
};

// Display state of a task.
enum : int32_t {
  kDisplayFinished = 0,
  kDisplayStopped = 1,
  kDisplayRunning = 2,  // waiting or running
  kDisplayFailed = 3,
};

// A task as the application shows it.
struct StreamingTaskInfo {
  std::string id;
  std::string url;
  std::string video_path;
  std::string audio_path;
  int32_t bytes_processed = 0;   // media bytes of both recordings consumed by accepted pieces
  int32_t seconds_uploaded = 0;  // pieces accepted (one second each)
  int32_t duration = 0;          // seconds of the recording
  int32_t state = kDisplayStopped;
  std::string start_time;  // "YYYY-MM-DD HH:MM:SS", local time
  std::string end_time;    // the same, or empty while recording
};

// Submits a block to the engine's serial queue and returns at once.
using TaskQueue = std::function<void(std::function<void()> block)>;

// How uploads talk HTTP.
struct HttpOptions {
  // PEM file of the certificate authorities trusted for https; empty: the system's.
  // Server certificates are always verified.
  std::string ca_file;
  long connect_timeout_seconds = 10;
  // A transfer slower than `low_speed_limit` bytes per second for `low_speed_seconds`
  // (a server that stopped answering) fails with kErrorNetwork.
  long low_speed_limit = 1;
  long low_speed_seconds = 30;
};

// What an upload stream is made for.
struct SinkParams {
  std::string url;
  std::string access_token;
  std::string user_agent;
  // The task's stop flag; a transfer in progress ends soon after it becomes 1. Null for
  // the close request of a removal.
  const std::atomic<int>* stop = nullptr;
  HttpOptions http;
};
using SinkFactory = std::function<std::unique_ptr<PieceSink>(const SinkParams& params)>;

struct StreamingOptions {
  HttpOptions http;
  // How workers wait for growing recordings; null: they sleep.
  std::shared_ptr<WorkerWaiter> waiter;
  // Where pieces go; empty: the HLS ingest client.
  SinkFactory sink_factory;
};

// Library.
void InitStreamingLibrary(TaskQueue queue, const char* data_directory, const char* user_agent,
                          StreamingOptions options = {});
// Deletes the manager and every task. Stop the tasks first (StopAllStreamingTasks); a
// worker still running is stopped and waited for.
void TerminateStreamingLibrary();
void SetHttpUserAgent(const char* user_agent);
std::string GetHttpUserAgent();

// Tasks.
StreamingTask* NewLiveStreamingTask(const char* id, const char* video_path, const char* audio_path);
// A voice message: audio only, with the library's fixed id text.
StreamingTask* NewLiveStreamingTask(const char* audio_path);
int StartLiveStreamingTask(StreamingTask* task, const char* url, const char* access_token,
                           uint32_t frame_rate, const char* video_sample_path,
                           const char* audio_sample_path);
int StartLiveStreamingTask(StreamingTask* task, const char* url, const char* access_token,
                           const char* audio_sample_path);
int StartFileStreamingTask(StreamingTask* task, const char* url, const char* access_token,
                           uint32_t frame_rate, const char* video_sample_path,
                           const char* audio_sample_path);
int StartFileStreamingTask(StreamingTask* task, const char* url, const char* access_token,
                           const char* audio_sample_path);
void StopFileStreamingTask(StreamingTask* task);
void RemoveFileStreamingTask(StreamingTask* task);
void SendRecorderStoppedSignal(StreamingTask* task);
void StopAllStreamingTasks();
// Leading file tasks that have a video file.
int GetFileStreamingTasksNum();
StreamingTask* GetNthFileStreamingTask(int index);
// 1 and `info` filled when the engine holds `task`; else 0 and `info` untouched.
int ReadStreamingTaskInfo(StreamingTask* task, StreamingTaskInfo& info);
void AttachObserver(IObserver* observer);
void DetachObserver(IObserver* observer);

// The upload queue of a user (the user id as hexadecimal text).
void LoadStreamingTasksFromDisk(const char* user_id);
// Converts the user's upload list of the format before "1.2" when `previous_version` is
// null or not "1.2". `ignored` is kept for the callers.
void UpgradeStreamingTasksData_1_2(const char* user_id, const char* ignored,
                                   const char* previous_version);

// The id text of voice tasks.
inline constexpr char kVoiceTaskId[] = "766f6963655f6d657373616765000001";

}  // namespace selvo
