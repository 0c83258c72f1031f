#include "engine/streaming_task_mgr.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <ctime>

#include "engine/nginx_hls_client.h"
#include "engine/streaming_worker.h"
#include "engine/task_files.h"

namespace selvo {

std::atomic<StreamingTaskMgr*> gStreamingTaskMgr{nullptr};

namespace {

constexpr int kRecorderStoppedDelayMs = 500;

// Numbers worker runs across all tasks, so that a run number names one run only.
std::atomic<uint64_t> g_last_run{0};

StreamingOptions WithDefaults(StreamingOptions options) {
  if (!options.waiter) options.waiter = std::make_shared<SleepingWaiter>();
  if (!options.sink_factory) {
    options.sink_factory = [](const SinkParams& params) -> std::unique_ptr<PieceSink> {
      return std::make_unique<NginxHLSClient>(params);
    };
  }
  return options;
}

std::string Now() { return LocalTimeText(std::time(nullptr)); }

// Seconds since the epoch of a "YYYY-MM-DD HH:MM:SS" local time.
time_t LocalTimeSeconds(const std::string& text) {
  struct tm tm;
  ConvertAscTimeToTm(text.c_str(), &tm);
  // The text does not say whether daylight-saving time was in force; let the time zone
  // decide, as it did when the text was written.
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

int32_t ClampToInt32(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

// For a task about to upload from complete recordings: media data not located yet (-1)
// starts at 0.
void StartUnlocatedMediaAtZero(ProgressCell& progress) {
  StreamProgress p = progress.Load();
  p.video_position = std::max<int64_t>(p.video_position, 0);
  p.audio_position = std::max<int64_t>(p.audio_position, 0);
  progress.Store(p);
}

}  // namespace

StreamingTaskMgr::StreamingTaskMgr(TaskQueue queue, std::string data_directory,
                                   StreamingOptions options)
    : data_directory_(std::move(data_directory)),
      queue_(std::move(queue)),
      options_(WithDefaults(std::move(options))) {}

StreamingTaskMgr::~StreamingTaskMgr() {
  // Workers still running report while they end: stop them while the manager is whole.
  if (live_task_) live_task_->impl()->StopAndJoin();
  for (auto& task : file_tasks_) task->impl()->StopAndJoin();
}

std::vector<std::unique_ptr<StreamingTask>>::iterator StreamingTaskMgr::FindFileTask(
    StreamingTask* task) {
  return std::find_if(file_tasks_.begin(), file_tasks_.end(),
                      [task](const auto& held) { return held.get() == task; });
}

bool StreamingTaskMgr::Holds(StreamingTask* task) const {
  if (!task) return false;
  if (live_task_.get() == task) return true;
  return std::any_of(file_tasks_.begin(), file_tasks_.end(),
                     [task](const auto& held) { return held.get() == task; });
}

bool StreamingTaskMgr::AnyTaskRunning() const {
  if (live_task_ && live_task_->state() == kStateRunning) return true;
  return std::any_of(file_tasks_.begin(), file_tasks_.end(),
                     [](const auto& held) { return held->state() == kStateRunning; });
}

bool StreamingTaskMgr::IsCurrentRun(StreamingTask* task, uint64_t run) const {
  // A task the manager no longer holds cannot be restarted: its reports go out as they are.
  return !Holds(task) || task->impl()->run == run;
}

void StreamingTaskMgr::NotifyObservers(EventType event, StreamingTask* task, int32_t value,
                                       const std::string& url) {
  // An observer may detach itself or others while it is called: each observer attached
  // when the event went out gets it once, unless it was detached before its turn.
  const std::vector<IObserver*> observers = observers_;
  for (IObserver* observer : observers) {
    if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end()) continue;
    observer->Update(event, task, value, url);
  }
}

std::unique_ptr<StreamingTaskImpl> StreamingTaskMgr::MakeImpl(StreamingTask* task,
                                                              const TaskData& data) const {
  const StreamProgress& p = data.progress;
  auto impl = std::make_unique<StreamingTaskImpl>(
      task, data.url, p.segment, p.piece, data.video_path, std::max<int64_t>(p.video_position, 0),
      data.audio_path, std::max<int64_t>(p.audio_position, 0), p.counter, p.pat_counter,
      p.pmt_counter);
  impl->save = &StreamingTask::SaveDataImpl;
  return impl;
}

bool StreamingTaskMgr::StartWorker(StreamingTask* task, StartKind kind, bool audio_only) {
  StreamingTaskImpl* impl = task->impl();
  // A run that ended on its own and was not waited for yet.
  if (impl->worker.joinable()) impl->worker.join();
  if (kind != StartKind::kLive) StartUnlocatedMediaAtZero(impl->progress);
  if (kind == StartKind::kScheduled) impl->access_token = access_token_;
  impl->data_directory = data_directory_;
  impl->stop.store(0);
  impl->recorder_stopped.store(0);

  impl->segmenter = MediaSegmenter();
  if (audio_only) {
    if (impl->segmenter.InitMediaParameters(audio_sample_path_.c_str()) != 1) return false;
    impl->kind = StreamKind::kAudioOnly;
  } else {
    bool is_amr = false;
    if (impl->segmenter.InitMediaParameters(video_frame_rate_, video_sample_path_.c_str(),
                                            audio_sample_path_.c_str(), &is_amr) != 1) {
      return false;
    }
    impl->kind = is_amr ? StreamKind::kVideoOnly : StreamKind::kAudioVideo;
  }
  impl->recordings_final = kind != StartKind::kLive;
  impl->run = ++g_last_run;
  impl->waiter = options_.waiter;
  impl->sink_factory = options_.sink_factory;
  impl->sink_params =
      SinkParams{impl->url, impl->access_token, GetHttpUserAgent(), &impl->stop, options_.http};
  try {
    impl->worker = std::thread(RunStreamingWorker, impl);
  } catch (const std::system_error&) {
    return false;
  }
  task->set_state(kStateRunning);
  return true;
}

void StreamingTaskMgr::StopWorker(StreamingTask* task) {
  if (task->state() == kStateStopped || task->state() == kStateWaiting) return;
  StreamingTaskImpl* impl = task->impl();
  if (impl->stop.load() != 0) return;
  impl->StopAndJoin();
  StartUnlocatedMediaAtZero(impl->progress);
}

void StreamingTaskMgr::RetireLiveTask() {
  std::unique_ptr<StreamingTask> task = std::move(live_task_);
  if (task->state() == kStateFinished) return;
  if (!task->impl()->video_path.empty()) {
    file_tasks_.insert(file_tasks_.begin(), std::move(task));
  } else {
    file_tasks_.push_back(std::move(task));
  }
}

void StreamingTaskMgr::StopLiveTask() {
  StreamingTask* task = live_task_.get();
  StopWorker(task);
  NotifyObservers(kTaskStateChanged, task, 0, task->impl()->url);
  if (task->state() != kStateFinished) task->set_state(kStateStopped);
  RetireLiveTask();
}

void StreamingTaskMgr::KeepStartParameters(const std::string& access_token,
                                           const uint32_t* frame_rate,
                                           const std::string* video_sample,
                                           const std::string& audio_sample) {
  access_token_ = access_token;
  if (frame_rate) video_frame_rate_ = *frame_rate;
  if (video_sample) video_sample_path_ = *video_sample;
  audio_sample_path_ = audio_sample;
}

StreamingTask* StreamingTaskMgr::NewLiveStreamingTask(const std::string& id,
                                                      const std::string& video_path,
                                                      const std::string& audio_path) {
  // A recording still held as live (its recorder never signalled): keep it as a stopped
  // file task rather than losing it.
  if (live_task_) StopLiveTask();
  live_task_ = std::make_unique<StreamingTask>(id);
  StreamingTask* task = live_task_.get();
  // The recordings are still being written: their media data is not located yet (-1).
  auto impl = std::make_unique<StreamingTaskImpl>(task, "", 1, 1, video_path, -1, audio_path, -1,
                                                  ContinuityCounter{}, 0, 0);
  impl->save = &StreamingTask::SaveDataImpl;
  task->set_impl(std::move(impl));
  SaveTasksData();
  NotifyObservers(kTaskCreated, task, 1, "");
  NotifyObservers(kTaskStateChanged, task, 0, "");
  return task;
}

int StreamingTaskMgr::StartLiveStreamingTask(StreamingTask* task, const std::string& url,
                                             const std::string& access_token,
                                             const uint32_t* frame_rate,
                                             const std::string* video_sample,
                                             const std::string& audio_sample) {
  // The live upload has priority.
  for (auto& file_task : file_tasks_) {
    const bool was_running = file_task->state() == kStateRunning;
    StopWorker(file_task.get());
    if (was_running) file_task->set_state(kStateWaiting);
  }
  if (!task || task != live_task_.get()) return 0;
  // One worker per task: a second start of a running live task is refused.
  if (task->state() == kStateRunning) return 0;
  KeepStartParameters(access_token, frame_rate, video_sample, audio_sample);
  task->impl()->url = url;
  task->impl()->access_token = access_token;
  if (!StartWorker(task, StartKind::kLive, frame_rate == nullptr)) return 0;
  // The list keeps the task's URL from now on: after a crash, the snapshot of its last
  // accepted piece is matched by that URL, and the upload resumes there.
  SaveTasksData();
  NotifyObservers(kTaskStateChanged, task, 1, url);
  return 1;
}

int StreamingTaskMgr::StartFileStreamingTask(StreamingTask* task, const std::string& url,
                                             const std::string& access_token,
                                             const uint32_t* frame_rate,
                                             const std::string* video_sample,
                                             const std::string& audio_sample) {
  KeepStartParameters(access_token, frame_rate, video_sample, audio_sample);
  auto it = FindFileTask(task);
  if (it == file_tasks_.end()) return 0;
  // A running worker keeps the URL it uploads to; its report must still match the task.
  if (task->state() != kStateRunning) task->impl()->url = url;
  SaveTasksData();
  const TaskState state = task->state();
  if (!AnyTaskRunning()) {
    if (state != kStateStopped && state != kStateWaiting && state != kStateFailed) return 0;
    task->impl()->access_token = access_token;
    return StartWorker(task, StartKind::kFile, frame_rate == nullptr) ? 1 : 0;
  }
  if (state == kStateStopped || state == kStateFailed) {
    task->set_state(kStateWaiting);
    return 1;
  }
  return 0;
}

void StreamingTaskMgr::StopFileStreamingTask(StreamingTask* task) {
  auto it = FindFileTask(task);
  if (it == file_tasks_.end()) return;
  switch (task->state()) {
    case kStateStopped:
      break;
    case kStateWaiting:
      task->set_state(kStateStopped);
      NotifyObservers(kTaskFinished, task, kResultStopped, task->impl()->url);
      break;
    default:
      StopWorker(task);
      break;
  }
  SaveTasksData();
}

void StreamingTaskMgr::RemoveFileStreamingTask(StreamingTask* task) {
  StopFileStreamingTask(task);
  auto it = FindFileTask(task);
  if (it == file_tasks_.end()) return;
  StreamingTaskImpl* impl = task->impl();
  if (task->state() != kStateFinished && !impl->url.empty()) {
    // Tell the server the stream ends; nothing depends on its answer.
    SinkParams params{impl->url, access_token_.empty() ? impl->access_token : access_token_,
                      GetHttpUserAgent(), nullptr, options_.http};
    if (std::unique_ptr<PieceSink> sink = options_.sink_factory(params)) sink->Close();
  }
  std::unique_ptr<StreamingTask> removed = std::move(*it);
  file_tasks_.erase(it);
  NotifyObservers(kTaskRemoved, removed.get(), 0, removed->impl()->url);
  removed.reset();
  SaveTasksData();
}

void StreamingTaskMgr::SendRecorderStoppedSignal(StreamingTask* task) {
  if (FindFileTask(task) != file_tasks_.end()) {
    task->set_end_time(Now());
    SaveTasksData();
  } else if (task && task == live_task_.get()) {
    StreamingTaskImpl* impl = task->impl();
    task->set_end_time(Now());
    NotifyObservers(kTaskStateChanged, task, 0, impl->url);
    // Give the recorder's last writes a moment before the worker ends its pass.
    static const std::atomic<int> kNeverStop{0};
    options_.waiter->Wait(kRecorderStoppedDelayMs, kNeverStop);
    impl->recorder_stopped.store(0);
    impl->recorder_stopped.fetch_add(1);
    RetireLiveTask();
    SaveTasksData();
  }
}

void StreamingTaskMgr::StopAllStreamingTasks() {
  if (live_task_) StopLiveTask();
  for (auto& task : file_tasks_) {
    StopWorker(task.get());
    if (task->state() != kStateFinished) task->set_state(kStateStopped);
  }
  SaveTasksData();
}

int StreamingTaskMgr::GetFileStreamingTasksNum() const {
  int count = 0;
  for (const auto& task : file_tasks_) {
    if (task->impl()->video_path.empty()) break;
    ++count;
  }
  return count;
}

StreamingTask* StreamingTaskMgr::GetNthFileStreamingTask(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= file_tasks_.size()) return nullptr;
  return file_tasks_[static_cast<size_t>(index)].get();
}

int StreamingTaskMgr::ReadStreamingTaskInfo(StreamingTask* task, StreamingTaskInfo& info) const {
  if (!Holds(task)) return 0;
  const TaskData data = task->impl()->Data();
  const StreamProgress& p = data.progress;
  info.id = task->id();
  info.url = data.url;
  info.video_path = data.video_path;
  info.audio_path = data.audio_path;
  info.bytes_processed = ClampToInt32(std::max<int64_t>(p.video_position + p.audio_position, 0));
  info.seconds_uploaded = ClampToInt32(int64_t{p.segment} * 10 + p.piece - 11);
  const std::string& start = task->start_time();
  const std::string& end = task->end_time();
  int64_t duration = info.seconds_uploaded;
  if (start.size() == 19 && end.size() == 19) {
    duration = LocalTimeSeconds(end) - LocalTimeSeconds(start);
  } else if (start.size() == 19) {
    duration = std::time(nullptr) - LocalTimeSeconds(start);
  }
  // A clock set back must not make a negative duration.
  info.duration = ClampToInt32(std::max<int64_t>(duration, info.seconds_uploaded));
  switch (task->state()) {
    case kStateFinished:
      info.state = kDisplayFinished;
      break;
    case kStateStopped:
      info.state = kDisplayStopped;
      break;
    case kStateWaiting:
    case kStateRunning:
      info.state = kDisplayRunning;
      break;
    case kStateFailed:
      info.state = kDisplayFailed;
      break;
  }
  info.start_time = start;
  info.end_time = end;
  return 1;
}

void StreamingTaskMgr::AttachObserver(IObserver* observer) {
  if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end()) {
    observers_.push_back(observer);
  }
}

void StreamingTaskMgr::DetachObserver(IObserver* observer) {
  observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

void StreamingTaskMgr::SaveTasksData() {
  // Before a user's list was loaded there is no list to keep the tasks in.
  if (user_id_.empty()) return;
  std::string content;
  if (live_task_ && live_task_->state() != kStateFinished) live_task_->Save(&content);
  for (const auto& task : file_tasks_) {
    if (task->state() != kStateFinished) task->Save(&content);
  }
  if (saved_list_known_ && content == saved_list_) return;
  if (WriteFileAtomically(UploadListPath(data_directory_, user_id_), content)) {
    saved_list_ = std::move(content);
    saved_list_known_ = true;
  }
}

void StreamingTaskMgr::LoadStreamingTasksFromDisk(const std::string& user_id) {
  if (!user_id_.empty()) StopAllStreamingTasks();
  // Tasks of no user's list may still upload: let their workers end before the tasks go.
  for (auto& task : file_tasks_) task->impl()->StopAndJoin();
  file_tasks_.clear();
  user_id_ = user_id;
  saved_list_.clear();
  saved_list_known_ = true;

  std::vector<std::string> lines;
  if (!ReadLines(UploadListPath(data_directory_, user_id_), &lines)) return;
  for (const std::string& text : lines) {
    TaskLine line;
    if (!ParseTaskLine(text, &line)) continue;
    if (line.end_time_missing) {
      // Written while recording and never updated (a crash): the recording ended when its
      // video file was last written.
      struct stat info;
      if (::stat(line.data.video_path.c_str(), &info) == 0) {
        line.end_time = LocalTimeText(info.st_mtime);
      }
    }
    auto task = std::make_unique<StreamingTask>(line.id, line.start_time, line.end_time);
    task->set_impl(MakeImpl(task.get(), line.data));
    file_tasks_.push_back(std::move(task));
  }

  // The snapshot holds the progress of the task that uploaded a piece last, which is
  // newer than its line in the list.
  std::vector<std::string> snapshot;
  TaskData data;
  if (ReadLines(SnapshotPath(data_directory_), &snapshot) && !snapshot.empty() &&
      ParseSnapshotLine(snapshot.front(), &data) && !data.url.empty()) {
    for (auto& task : file_tasks_) {
      if (task->impl()->url == data.url) {
        task->set_impl(MakeImpl(task.get(), data));
        break;
      }
    }
  }
  for (const auto& task : file_tasks_) task->Save(&saved_list_);
}

void StreamingTaskMgr::UpgradeStreamingTasksData_1_2(const std::string& user_id) {
  // Only the files change: the tasks in memory stay those of the loaded user, so that the
  // next load saves them to their own list and not over the converted one.
  const std::string previous = PreviousUploadListPath(data_directory_, user_id);
  std::vector<std::string> lines;
  // Without a list of the previous format there is nothing to convert, and the current
  // list (with every task queued since) stays as it is.
  if (!ReadLines(previous, &lines)) return;
  std::string content;
  for (const std::string& line : lines) {
    std::string converted;
    if (UpgradePreviousLine(line, &converted)) content += converted;
  }
  if (WriteFileAtomically(UploadListPath(data_directory_, user_id), content)) {
    ::unlink(previous.c_str());
  }
  if (user_id == user_id_) saved_list_known_ = false;
}

void StreamingTaskMgr::DispatchEventAsync(EventType event, StreamingTask* task, int32_t value,
                                          const std::string& url, uint64_t run) {
  std::weak_ptr<int> alive = alive_;
  queue_([this, alive, event, task, value, url, run] {
    if (alive.expired()) return;
    // The report of a run that a later start replaced changes nothing.
    if (!IsCurrentRun(task, run)) return;
    NotifyObservers(event, task, value, url);
    if (event == kTaskFinished) ProcessTaskDone(task, value, url);
  });
}

void StreamingTaskMgr::ProcessTaskDone(StreamingTask* task, int32_t value, const std::string& url) {
  const TaskState next_state = value == kResultCompleted ? kStateFinished
                               : value == kResultStopped ? kStateStopped
                                                         : kStateFailed;
  auto it = FindFileTask(task);
  if (it != file_tasks_.end() && task->impl()->url == url) {
    task->impl()->StopAndJoin();  // the worker is ending
    if (value == kResultCompleted) {
      std::unique_ptr<StreamingTask> done = std::move(*it);
      file_tasks_.erase(it);
      NotifyObservers(kTaskRemoved, done.get(), 0, done->impl()->url);
    } else {
      task->set_state(next_state);
    }
    SaveTasksData();
  } else if (task && task == live_task_.get() && task->impl()->url == url) {
    task->impl()->StopAndJoin();
    task->set_state(next_state);
    NotifyObservers(kTaskStateChanged, task, 0, url);
    RetireLiveTask();
    SaveTasksData();
  }
  Schedule();
}

void StreamingTaskMgr::Schedule() {
  if (AnyTaskRunning()) return;
  for (auto& task : file_tasks_) {
    if (task->state() != kStateWaiting) continue;
    // A task without video (a voice message) starts as it was started: audio only.
    if (StartWorker(task.get(), StartKind::kScheduled, task->impl()->video_path.empty())) return;
  }
}

}  // namespace selvo
