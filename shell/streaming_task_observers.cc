#include "shell/streaming_task_observers.h"

#include "platform/dispatch.h"
#include "platform/localization.h"

namespace shell {

const char* FailMessageKey(selvo::EventType event, int32_t value) {
  if (event == selvo::kTaskCreated) return value == 1 ? "Start_Streaming_Success" : "";
  if (event != selvo::kTaskFinished) return "";
  switch (value) {
    case selvo::kErrorMediaFile:
      return "MediaFile_Failure";
    case selvo::kErrorNetwork:
      return "NetWork_Failure";
    case selvo::kErrorAccessToken:
      return "Invalid_AccessToken";
    case selvo::kErrorProgram:
      return "Program_Failure";
    case selvo::kErrorHttpBufferOverflow:
      return "Media_Http_Buffer_Overflow";
    default:
      return "";
  }
}

platform::Value SelvoStreamingTaskObserver::Dictionary(selvo::EventType event, void* task,
                                                       int32_t value, const std::string& url) {
  // A task the engine no longer holds leaves the info empty.
  selvo::StreamingTaskInfo info;
  selvo::ReadStreamingTaskInfo(static_cast<selvo::StreamingTask*>(task), info);
  const char* key = FailMessageKey(event, value);
  platform::Value dictionary;
  dictionary.Set(kEventTypeKey, static_cast<int>(event));
  dictionary.Set(kEventValueKey, value);
  dictionary.Set(kStreamingTaskPointerKey, platform::Value::FromPointer(task));
  dictionary.Set(kRecordingTimeEndKey, info.end_time);
  dictionary.Set(kTransferredByteKey, value);
  dictionary.Set(kFailMessageKey, *key ? platform::LocalizedString(key, "") : std::string());
  if (!url.empty()) dictionary.Set(kStreamingTaskUrlKey, url);
  return dictionary;
}

void SelvoStreamingTaskObserver::Update(selvo::EventType event, void* task, int32_t value,
                                        const std::string& url) {
  center_.Post(kMediaLibraryNotification, Dictionary(event, task, value, url));
}

platform::Value SimpleStreamingTaskObserver::Dictionary(selvo::EventType event, void* task,
                                                        int32_t value, const std::string& url) {
  selvo::StreamingTaskInfo info;
  const bool known = selvo::ReadStreamingTaskInfo(static_cast<selvo::StreamingTask*>(task), info);
  platform::Value dictionary;
  dictionary.Set(kStreamingTaskKey, platform::Value::FromPointer(task));
  dictionary.Set(kEventTypeKeyKey, static_cast<int>(event));
  dictionary.Set(kEventValueKeyKey, value);
  dictionary.Set(kStreamingTaskUrlKeyKey, url);
  dictionary.Set(kAudioMediaFileKey, known ? info.audio_path : std::string());
  dictionary.Set(kVideoMediaFileKey, known ? info.video_path : std::string());
  return dictionary;
}

void SimpleStreamingTaskObserver::Update(selvo::EventType event, void* task, int32_t value,
                                         const std::string& url) {
  platform::MainQueue().Async([center = center_, dictionary = Dictionary(event, task, value, url)] {
    center->Post(kMediaLibraryNotificationName, dictionary);
  });
}

}  // namespace shell
