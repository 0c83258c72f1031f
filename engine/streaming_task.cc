#include "engine/streaming_task.h"

#include <ctime>

#include "engine/streaming_task_mgr.h"

namespace selvo {

StreamingTaskImpl::StreamingTaskImpl(ITaskEventNotifier* notifier_in, std::string url_in,
                                     uint32_t segment, uint32_t piece, std::string video_path_in,
                                     int64_t video_position, std::string audio_path_in,
                                     int64_t audio_position, const ContinuityCounter& counter,
                                     uint32_t pat_counter, uint32_t pmt_counter)
    : url(std::move(url_in)),
      video_path(std::move(video_path_in)),
      audio_path(std::move(audio_path_in)),
      notifier(notifier_in) {
  StreamProgress p;
  p.video_position = video_position;
  p.audio_position = audio_position;
  p.counter = counter;
  p.pat_counter = pat_counter;
  p.pmt_counter = pmt_counter;
  p.segment = segment;
  p.piece = piece;
  progress.Store(p);
}

StreamingTaskImpl::~StreamingTaskImpl() { StopAndJoin(); }

bool StreamingTaskImpl::StopAndJoin() {
  int expected = 0;
  const bool raised = stop.compare_exchange_strong(expected, 1);
  if (raised && waiter) waiter->Wake();
  if (worker.joinable()) worker.join();
  return raised;
}

TaskData StreamingTaskImpl::Data() const {
  TaskData data;
  data.url = url;
  data.video_path = video_path;
  data.audio_path = audio_path;
  data.progress = progress.Load();
  return data;
}

StreamingTask::StreamingTask(std::string id)
    : id_(std::move(id)), start_time_(LocalTimeText(std::time(nullptr))) {}

StreamingTask::StreamingTask(std::string id, std::string start_time, std::string end_time)
    : id_(std::move(id)), start_time_(std::move(start_time)), end_time_(std::move(end_time)) {}

StreamingTask::~StreamingTask() = default;

void StreamingTask::NotifyAsync(EventType event, StreamingTaskImpl* impl, int32_t value,
                                const std::string& url, uint64_t run) {
  // A worker of a replaced implementation cannot report.
  if (impl != impl_.get()) return;
  if (StreamingTaskMgr* manager = gStreamingTaskMgr.load()) {
    manager->DispatchEventAsync(event, this, value, url, run);
  }
}

void StreamingTask::Save(std::string* out) const {
  if (!impl_ || impl_->video_path.empty()) return;
  AppendTaskHead(out, id_, start_time_, end_time_);
  SaveDataImpl(out, impl_->Data());
}

void StreamingTask::SaveDataImpl(std::string* out, const TaskData& data) {
  AppendTaskData(out, data);
}

}  // namespace selvo
