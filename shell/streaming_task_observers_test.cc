#include "shell/streaming_task_observers.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/streaming_library.h"
#include "engine/streaming_task.h"
#include "engine/testing/engine_harness.h"
#include "platform/localization.h"
#include "platform/testing/fake_platform.h"

namespace shell {
namespace {

class StreamingTaskObserversTest : public ::testing::Test {
 protected:
  void SetUp() override {
    queue_ = fake_.dispatcher.CreateSerialQueue("com.selvo.queue");
    selvo::StreamingOptions options;
    options.waiter = std::make_shared<selvo::testing::TestWaiter>();  // never sleeps here
    selvo::InitStreamingLibrary([this](std::function<void()> block) { queue_->Async(block); },
                                "/nonexistent", "test", options);
    selvo::LoadStreamingTasksFromDisk("3132");
  }
  void TearDown() override {
    fake_.dispatcher.RunUntilIdle();
    selvo::TerminateStreamingLibrary();
  }

  platform::FakePlatform fake_;
  std::shared_ptr<platform::DispatchQueue> queue_;
};

TEST_F(StreamingTaskObserversTest, TheProgressObserverDescribesEveryEvent) {
  platform::NotificationCenter center;
  std::vector<platform::Notification> posted;
  auto subscription = center.AddObserver(
      kMediaLibraryNotification, [&](const platform::Notification& n) { posted.push_back(n); });
  SelvoStreamingTaskObserver observer(center);
  selvo::StreamingTask* task = selvo::NewLiveStreamingTask("id", "/r/v.mov", "/r/a.mov");
  selvo::SendRecorderStoppedSignal(task);
  selvo::StreamingTaskInfo info;
  ASSERT_EQ(selvo::ReadStreamingTaskInfo(task, info), 1);

  struct Case {
    selvo::EventType event;
    int32_t value;
    const char* text_key;  // "" for no text
  };
  const Case cases[] = {
      {selvo::kTaskCreated, 1, "Start_Streaming_Success"},
      {selvo::kTaskCreated, 0, ""},
      {selvo::kTaskFinished, selvo::kErrorMediaFile, "MediaFile_Failure"},
      {selvo::kTaskFinished, selvo::kErrorNetwork, "NetWork_Failure"},
      {selvo::kTaskFinished, selvo::kErrorAccessToken, "Invalid_AccessToken"},
      {selvo::kTaskFinished, selvo::kErrorProgram, "Program_Failure"},
      {selvo::kTaskFinished, selvo::kErrorHttpBufferOverflow, "Media_Http_Buffer_Overflow"},
      {selvo::kTaskFinished, selvo::kResultCompleted, ""},
      {selvo::kTaskFinished, selvo::kResultStopped, ""},
      {selvo::kTaskFinished, -4, ""},
      {selvo::kTaskRemoved, 0, ""},
      {selvo::kSecondsUploaded, 7, ""},
      {selvo::kBytesTransferred, 123456, ""},
      {selvo::kBytesTransferred, -9, ""},
      {selvo::kTaskStateChanged, 1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.event) + "/" + std::to_string(c.value));
    for (const std::string url : {"http://h/x", ""}) {
      posted.clear();
      observer.Update(c.event, task, c.value, url);
      ASSERT_EQ(posted.size(), 1u);  // at once, on the calling thread
      const platform::Value& d = posted[0].object;
      EXPECT_TRUE(posted[0].user_info.is_null());
      EXPECT_EQ(d.size(), url.empty() ? 6u : 7u);
      EXPECT_EQ(d[kEventTypeKey].AsInt(), c.event);
      EXPECT_EQ(d[kEventValueKey].AsInt(), c.value);
      EXPECT_EQ(d[kTransferredByteKey].AsInt(), c.value);
      EXPECT_EQ(d[kStreamingTaskPointerKey].AsPointer(), task);
      EXPECT_EQ(d[kRecordingTimeEndKey].AsString(), info.end_time);
      EXPECT_EQ(d.Contains(kStreamingTaskUrlKey), !url.empty());
      if (!url.empty()) {
        EXPECT_EQ(d[kStreamingTaskUrlKey].AsString(), url);
      }
      const std::string text = *c.text_key ? platform::LocalizedString(c.text_key) : "";
      EXPECT_EQ(d[kFailMessageKey].AsString(), text);
      if (*c.text_key) {
        EXPECT_FALSE(text.empty());
      }
    }
  }

  // A task the engine no longer holds: no end time, but the URL still comes.
  selvo::RemoveFileStreamingTask(task);
  posted.clear();
  observer.Update(selvo::kTaskRemoved, task, 0, "http://h/x");
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].object[kRecordingTimeEndKey].AsString(), "");
  EXPECT_EQ(posted[0].object[kStreamingTaskUrlKey].AsString(), "http://h/x");
}

TEST_F(StreamingTaskObserversTest, ALiveTasksFirstEventsComeWithoutAUrl) {
  platform::NotificationCenter center;
  std::vector<platform::Value> posted;
  auto subscription =
      center.AddObserver(kMediaLibraryNotification,
                         [&](const platform::Notification& n) { posted.push_back(n.object); });
  SelvoStreamingTaskObserver observer(center);
  selvo::AttachObserver(&observer);
  selvo::StreamingTask* task = selvo::NewLiveStreamingTask("id", "/r/v.mov", "/r/a.mov");
  selvo::DetachObserver(&observer);
  ASSERT_EQ(posted.size(), 2u);
  EXPECT_EQ(posted[0][kEventTypeKey].AsInt(), selvo::kTaskCreated);
  EXPECT_EQ(posted[0][kFailMessageKey].AsString(),
            platform::LocalizedString("Start_Streaming_Success"));
  EXPECT_EQ(posted[1][kEventTypeKey].AsInt(), selvo::kTaskStateChanged);
  for (const auto& d : posted) {
    EXPECT_FALSE(d.Contains(kStreamingTaskUrlKey));
    EXPECT_EQ(d[kStreamingTaskPointerKey].AsPointer(), task);
  }
}

TEST_F(StreamingTaskObserversTest, TheFilesObserverPostsOnTheMainQueue) {
  auto center = std::make_shared<platform::NotificationCenter>();
  std::vector<platform::Notification> posted;
  auto subscription = center->AddObserver(
      kMediaLibraryNotificationName, [&](const platform::Notification& n) { posted.push_back(n); });
  SimpleStreamingTaskObserver observer(center);
  selvo::StreamingTask* task = selvo::NewLiveStreamingTask("/r/voice.mov");

  observer.Update(selvo::kTaskFinished, task, 0, "http://h/v");
  selvo::StreamingTask stranger("stranger");
  observer.Update(selvo::kTaskRemoved, &stranger, 0, "http://h/s");
  center.reset();  // the posts keep it
  EXPECT_TRUE(posted.empty());
  fake_.dispatcher.RunUntilIdle();
  ASSERT_EQ(posted.size(), 2u);

  platform::Value::Dictionary expected = {
      {kStreamingTaskKey, platform::Value::FromPointer(task)},
      {kEventTypeKeyKey, selvo::kTaskFinished},
      {kEventValueKeyKey, 0},
      {kStreamingTaskUrlKeyKey, "http://h/v"},
      {kAudioMediaFileKey, "/r/voice.mov"},
      {kVideoMediaFileKey, ""},
  };
  EXPECT_EQ(posted[0].object, platform::Value(expected));
  EXPECT_TRUE(posted[0].user_info.is_null());
  const platform::Value::Dictionary unknown = {
      {kStreamingTaskKey, platform::Value::FromPointer(&stranger)},
      {kEventTypeKeyKey, selvo::kTaskRemoved},
      {kEventValueKeyKey, 0},
      {kStreamingTaskUrlKeyKey, "http://h/s"},
      {kAudioMediaFileKey, ""},
      {kVideoMediaFileKey, ""},
  };
  EXPECT_EQ(posted[1].object, platform::Value(unknown));
}

}  // namespace
}  // namespace shell
