// StreamingTask: one recording's upload as the task manager keeps it, and
// StreamingTaskImpl, everything its worker thread needs.
//
// The manager owns its tasks, and a task its implementation record. While a worker runs,
// it owns the record's progress and the queue only reads it (through ProgressCell); the
// two flags are the queue's way to tell the worker to stop or that the recorder finished
// its files. Everything else in the record is set on the queue before the worker starts
// and not changed while it runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "engine/media_segmenter.h"
#include "engine/progress_cell.h"
#include "engine/streaming_library.h"
#include "engine/streaming_pass.h"
#include "engine/task_files.h"

namespace selvo {

enum TaskState : int32_t {
  kStateFinished = 0,  // upload complete
  kStateStopped = 1,   // idle, resumable
  kStateWaiting = 2,   // queued behind a running task
  kStateRunning = 3,   // a worker thread exists
  kStateFailed = 4,    // the last run ended with an error; resumable
};

class StreamingTaskImpl;

// How a worker reports: the event hops onto the engine's queue. `run` names the worker
// run that reports, so that the report of a run that was replaced by a new start changes
// nothing.
class ITaskEventNotifier {
 public:
  virtual ~ITaskEventNotifier() = default;
  virtual void NotifyAsync(EventType event, StreamingTaskImpl* impl, int32_t value,
                           const std::string& url, uint64_t run) = 0;
};

// Writes a task's fields 4 to 16 (StreamingTask::SaveDataImpl).
using SaveCallback = void (*)(std::string* out, const TaskData& data);

class StreamingTaskImpl {
 public:
  StreamingTaskImpl(ITaskEventNotifier* notifier, std::string url, uint32_t segment, uint32_t piece,
                    std::string video_path, int64_t video_position, std::string audio_path,
                    int64_t audio_position, const ContinuityCounter& counter, uint32_t pat_counter,
                    uint32_t pmt_counter);
  // Waits for a worker that still runs (stopping it first).
  ~StreamingTaskImpl();
  StreamingTaskImpl(const StreamingTaskImpl&) = delete;
  StreamingTaskImpl& operator=(const StreamingTaskImpl&) = delete;

  // What the task files say about this task now.
  TaskData Data() const;
  // Raises the stop flag (if it is 0) and waits for the worker. True when it was raised.
  bool StopAndJoin();

  std::thread worker;
  std::atomic<int> stop{0};              // 1 = stop requested
  std::atomic<int> recorder_stopped{0};  // 1 = the recording files are final
  MediaSegmenter segmenter;
  std::string url;
  std::string data_directory;
  std::string video_path;
  std::string audio_path;
  std::string access_token;
  ProgressCell progress;
  ITaskEventNotifier* notifier;
  SaveCallback save = nullptr;

  // Set by each start, for the worker.
  StreamKind kind = StreamKind::kAudioVideo;
  bool recordings_final = false;  // the files are complete (a file task)
  uint64_t run = 0;               // counts starts
  std::shared_ptr<WorkerWaiter> waiter;
  SinkFactory sink_factory;
  SinkParams sink_params;
};

class StreamingTask final : public ITaskEventNotifier {
 public:
  // A new task: stopped, started now, no end time.
  explicit StreamingTask(std::string id);
  // A task read back from the upload list.
  StreamingTask(std::string id, std::string start_time, std::string end_time);
  ~StreamingTask() override;
  StreamingTask(const StreamingTask&) = delete;
  StreamingTask& operator=(const StreamingTask&) = delete;

  // Hands the event to the manager when `impl` is this task's implementation.
  void NotifyAsync(EventType event, StreamingTaskImpl* impl, int32_t value, const std::string& url,
                   uint64_t run) override;

  // Appends this task's upload-list line; nothing for a task without a video file.
  void Save(std::string* out) const;
  static void SaveDataImpl(std::string* out, const TaskData& data);

  TaskState state() const { return state_; }
  void set_state(TaskState state) { state_ = state; }
  StreamingTaskImpl* impl() const { return impl_.get(); }
  // Replaces the implementation (deleting the old one).
  void set_impl(std::unique_ptr<StreamingTaskImpl> impl) { impl_ = std::move(impl); }
  const std::string& id() const { return id_; }
  const std::string& start_time() const { return start_time_; }
  const std::string& end_time() const { return end_time_; }
  void set_end_time(std::string end_time) { end_time_ = std::move(end_time); }

 private:
  TaskState state_ = kStateStopped;
  std::unique_ptr<StreamingTaskImpl> impl_;
  std::string id_;
  std::string start_time_;
  std::string end_time_;
};

}  // namespace selvo
