// StreamingTaskMgr: the engine's one task manager, behind the free functions of
// engine/streaming_library.h.
//
// It holds the live task (the recording in progress, at most one) and the file tasks
// (the upload queue), starts and stops their workers, lets one task upload at a time,
// keeps the user's upload list on disk and tells the observers what happens. Every
// method runs on the engine's serial queue; events from workers arrive there too.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/streaming_library.h"
#include "engine/streaming_task.h"

namespace selvo {

class StreamingTaskMgr {
 public:
  StreamingTaskMgr(TaskQueue queue, std::string data_directory, StreamingOptions options);
  // Deletes every task; workers still running are stopped and waited for.
  ~StreamingTaskMgr();
  StreamingTaskMgr(const StreamingTaskMgr&) = delete;
  StreamingTaskMgr& operator=(const StreamingTaskMgr&) = delete;

  StreamingTask* NewLiveStreamingTask(const std::string& id, const std::string& video_path,
                                      const std::string& audio_path);
  // `frame_rate` and `video_sample` are absent for an audio-only start.
  int StartLiveStreamingTask(StreamingTask* task, const std::string& url,
                             const std::string& access_token, const uint32_t* frame_rate,
                             const std::string* video_sample, const std::string& audio_sample);
  int StartFileStreamingTask(StreamingTask* task, const std::string& url,
                             const std::string& access_token, const uint32_t* frame_rate,
                             const std::string* video_sample, const std::string& audio_sample);
  void StopFileStreamingTask(StreamingTask* task);
  void RemoveFileStreamingTask(StreamingTask* task);
  void SendRecorderStoppedSignal(StreamingTask* task);
  void StopAllStreamingTasks();
  int GetFileStreamingTasksNum() const;
  StreamingTask* GetNthFileStreamingTask(int index) const;
  int ReadStreamingTaskInfo(StreamingTask* task, StreamingTaskInfo& info) const;
  void AttachObserver(IObserver* observer);
  void DetachObserver(IObserver* observer);

  void LoadStreamingTasksFromDisk(const std::string& user_id);
  void UpgradeStreamingTasksData_1_2(const std::string& user_id);
  // Rewrites the current user's upload list (when it changed).
  void SaveTasksData();

  // From any thread: delivers the event to the observers on the queue, then lets the
  // manager act on a finished worker.
  void DispatchEventAsync(EventType event, StreamingTask* task, int32_t value,
                          const std::string& url, uint64_t run);

 private:
  enum class StartKind { kLive, kFile, kScheduled };

  // The task when it is in the file list.
  std::vector<std::unique_ptr<StreamingTask>>::iterator FindFileTask(StreamingTask* task);
  bool Holds(StreamingTask* task) const;
  bool AnyTaskRunning() const;
  // Starts `task`'s worker; on success its state is kStateRunning.
  bool StartWorker(StreamingTask* task, StartKind kind, bool audio_only);
  void StopWorker(StreamingTask* task);
  // Empties the live slot: a finished task goes, any other joins the file list (with
  // video at the front, without at the back).
  void RetireLiveTask();
  // Stops the live task's worker and keeps the task, unless finished, as a stopped file task.
  void StopLiveTask();
  // What a start was given, for the starts the manager makes itself (Schedule).
  void KeepStartParameters(const std::string& access_token, const uint32_t* frame_rate,
                           const std::string* video_sample, const std::string& audio_sample);
  void NotifyObservers(EventType event, StreamingTask* task, int32_t value, const std::string& url);
  void ProcessTaskDone(StreamingTask* task, int32_t value, const std::string& url);
  // Starts the first waiting task that starts, unless a task runs.
  void Schedule();
  // True when `run` is the current run of `task` (a task the manager still holds).
  bool IsCurrentRun(StreamingTask* task, uint64_t run) const;
  std::unique_ptr<StreamingTaskImpl> MakeImpl(StreamingTask* task, const TaskData& data) const;

  const std::string data_directory_;
  std::string access_token_;
  uint32_t video_frame_rate_ = 0;
  std::string video_sample_path_;
  std::string audio_sample_path_;
  std::string user_id_;
  std::unique_ptr<StreamingTask> live_task_;
  std::vector<std::unique_ptr<StreamingTask>> file_tasks_;
  std::vector<IObserver*> observers_;
  const TaskQueue queue_;
  const StreamingOptions options_;
  // Blocks submitted to the queue act only while the manager lives.
  const std::shared_ptr<int> alive_ = std::make_shared<int>(0);
  // The upload list as last written or read, so that an unchanged list is not rewritten
  // (and a process that only looked at the queue does not overwrite another's changes).
  std::string saved_list_;
  bool saved_list_known_ = false;
};

// The manager of the process: set by InitStreamingLibrary, null before and after.
extern std::atomic<StreamingTaskMgr*> gStreamingTaskMgr;

}  // namespace selvo
