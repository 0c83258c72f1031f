// The bridge from the streaming engine's events to notifications: two observers that a
// screen attaches to the engine (on the engine's queue) with a notification centre of its
// own, and then listens to that centre.
//
//   SelvoStreamingTaskObserver posts "MediaLibraryNotification" at once, on the engine's
//   queue, for screens that show upload progress and failures; its dictionary carries a
//   display text for failures ("FailMessage").
//   SimpleStreamingTaskObserver posts "MediaLibraryNotificationName" on the main queue,
//   for screens that need the task's files.
//
// The dictionary is the notification's object; the user info is empty.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/streaming_library.h"
#include "platform/notification_center.h"
#include "platform/value.h"

namespace shell {

inline constexpr char kMediaLibraryNotification[] = "MediaLibraryNotification";
inline constexpr char kEventTypeKey[] = "EventType";
inline constexpr char kEventValueKey[] = "EventValue";
inline constexpr char kStreamingTaskPointerKey[] = "StreamingTaskPointer";
inline constexpr char kRecordingTimeEndKey[] = "RecordingTimeEnd";
inline constexpr char kTransferredByteKey[] = "TransferredByte";
inline constexpr char kFailMessageKey[] = "FailMessage";
inline constexpr char kStreamingTaskUrlKey[] = "StreamingTaskURL";

inline constexpr char kMediaLibraryNotificationName[] = "MediaLibraryNotificationName";
inline constexpr char kStreamingTaskKey[] = "StreamingTaskKey";
inline constexpr char kEventTypeKeyKey[] = "EventTypeKey";
inline constexpr char kEventValueKeyKey[] = "EventValueKey";
inline constexpr char kStreamingTaskUrlKeyKey[] = "StreamingTaskURLKey";
inline constexpr char kAudioMediaFileKey[] = "AudioMediaFileKey";
inline constexpr char kVideoMediaFileKey[] = "VideoMediaFileKey";

// The localisation key of the display text for an event ("" when there is none):
// kTaskCreated 1 and the failures of kTaskFinished.
const char* FailMessageKey(selvo::EventType event, int32_t value);

class SelvoStreamingTaskObserver final : public selvo::IObserver {
 public:
  // `center` must outlive the observer.
  explicit SelvoStreamingTaskObserver(platform::NotificationCenter& center) : center_(center) {}

  void Update(selvo::EventType event, void* task, int32_t value, const std::string& url) override;
  // The notification's dictionary for an event (reads the task's end time from the engine).
  static platform::Value Dictionary(selvo::EventType event, void* task, int32_t value,
                                    const std::string& url);

 private:
  platform::NotificationCenter& center_;
};

class SimpleStreamingTaskObserver final : public selvo::IObserver {
 public:
  // The posts submitted to the main queue keep `center` alive until they ran.
  explicit SimpleStreamingTaskObserver(std::shared_ptr<platform::NotificationCenter> center)
      : center_(std::move(center)) {}

  void Update(selvo::EventType event, void* task, int32_t value, const std::string& url) override;
  static platform::Value Dictionary(selvo::EventType event, void* task, int32_t value,
                                    const std::string& url);

 private:
  std::shared_ptr<platform::NotificationCenter> center_;
};

}  // namespace shell
