#include "engine/streaming_library.h"

#include <cstring>
#include <mutex>

#include "engine/streaming_task_mgr.h"

namespace selvo {

namespace {

std::string Text(const char* text) { return text ? std::string(text) : std::string(); }

StreamingTaskMgr& Manager() { return *gStreamingTaskMgr.load(); }

// The User-Agent of every upload request.
class HttpUserAgent {
 public:
  static void Set(const char* text) {
    std::lock_guard lock(mutex_);
    mUserAgent = Text(text);
  }
  static std::string Get() {
    std::lock_guard lock(mutex_);
    return mUserAgent;
  }

 private:
  static inline std::mutex mutex_;
  static inline std::string mUserAgent;
};

}  // namespace

void InitStreamingLibrary(TaskQueue queue, const char* data_directory, const char* user_agent,
                          StreamingOptions options) {
  SetHttpUserAgent(user_agent);
  delete gStreamingTaskMgr.exchange(
      new StreamingTaskMgr(std::move(queue), Text(data_directory), std::move(options)));
}

void TerminateStreamingLibrary() {
  delete gStreamingTaskMgr.load();
  gStreamingTaskMgr.store(nullptr);
}

void SetHttpUserAgent(const char* user_agent) { HttpUserAgent::Set(user_agent); }
std::string GetHttpUserAgent() { return HttpUserAgent::Get(); }

StreamingTask* NewLiveStreamingTask(const char* id, const char* video_path,
                                    const char* audio_path) {
  return Manager().NewLiveStreamingTask(Text(id), Text(video_path), Text(audio_path));
}

StreamingTask* NewLiveStreamingTask(const char* audio_path) {
  return Manager().NewLiveStreamingTask(kVoiceTaskId, "", Text(audio_path));
}

int StartLiveStreamingTask(StreamingTask* task, const char* url, const char* access_token,
                           uint32_t frame_rate, const char* video_sample_path,
                           const char* audio_sample_path) {
  const std::string video_sample = Text(video_sample_path);
  return Manager().StartLiveStreamingTask(task, Text(url), Text(access_token), &frame_rate,
                                          &video_sample, Text(audio_sample_path));
}

int StartLiveStreamingTask(StreamingTask* task, const char* url, const char* access_token,
                           const char* audio_sample_path) {
  return Manager().StartLiveStreamingTask(task, Text(url), Text(access_token), nullptr, nullptr,
                                          Text(audio_sample_path));
}

int StartFileStreamingTask(StreamingTask* task, const char* url, const char* access_token,
                           uint32_t frame_rate, const char* video_sample_path,
                           const char* audio_sample_path) {
  const std::string video_sample = Text(video_sample_path);
  return Manager().StartFileStreamingTask(task, Text(url), Text(access_token), &frame_rate,
                                          &video_sample, Text(audio_sample_path));
}

int StartFileStreamingTask(StreamingTask* task, const char* url, const char* access_token,
                           const char* audio_sample_path) {
  return Manager().StartFileStreamingTask(task, Text(url), Text(access_token), nullptr, nullptr,
                                          Text(audio_sample_path));
}

void StopFileStreamingTask(StreamingTask* task) { Manager().StopFileStreamingTask(task); }
void RemoveFileStreamingTask(StreamingTask* task) { Manager().RemoveFileStreamingTask(task); }
void SendRecorderStoppedSignal(StreamingTask* task) { Manager().SendRecorderStoppedSignal(task); }
void StopAllStreamingTasks() { Manager().StopAllStreamingTasks(); }
int GetFileStreamingTasksNum() { return Manager().GetFileStreamingTasksNum(); }
StreamingTask* GetNthFileStreamingTask(int index) {
  return Manager().GetNthFileStreamingTask(index);
}
int ReadStreamingTaskInfo(StreamingTask* task, StreamingTaskInfo& info) {
  return Manager().ReadStreamingTaskInfo(task, info);
}
void AttachObserver(IObserver* observer) { Manager().AttachObserver(observer); }
void DetachObserver(IObserver* observer) { Manager().DetachObserver(observer); }

void LoadStreamingTasksFromDisk(const char* user_id) {
  Manager().LoadStreamingTasksFromDisk(Text(user_id));
}

void UpgradeStreamingTasksData_1_2(const char* user_id, const char* /*ignored*/,
                                   const char* previous_version) {
  if (previous_version && std::strcmp(previous_version, kTasksDataVersion) == 0) return;
  Manager().UpgradeStreamingTasksData_1_2(Text(user_id));
}

}  // namespace selvo
