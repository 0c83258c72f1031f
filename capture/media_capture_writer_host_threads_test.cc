// The capture host on real threads (the Linux dispatcher), with the device and
// writer doubles: samples arrive from a foreign thread while the main thread
// starts, zooms, filters and stops. Run under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "capture/media_capture_writer_host.h"
#include "capture/recording_files.h"
#include "platform/linux/linux_dispatcher.h"
#include "platform/testing/fake_environment.h"
#include "platform/testing/fake_media.h"
#include "platform/testing/memory_preference_store.h"

namespace capture {
namespace {

class CountingPreview : public VideoPreview {
 public:
  void DisplayPixelBuffer(const platform::VideoFrame&) override { frames.fetch_add(1); }
  std::atomic<int> frames{0};
};

TEST(HostThreadsTest, SamplesFromAnotherThreadWhileTheMainThreadDrives) {
  platform::LinuxDispatcher dispatcher(2);
  platform::SetDefaultDispatcher(&dispatcher);
  platform::ManualClock clock;
  platform::FakeEnvironment environment(clock);
  platform::SetDefaultEnvironment(&environment);
  platform::MemoryPreferenceStore preferences;
  platform::SetStandardPreferences(&preferences);
  {
    platform::FakeMedia media;
    std::ofstream(RecordingFiles::SampleVideoFile()) << "v";
    std::ofstream(RecordingFiles::SampleAudioFile()) << "a";
    std::atomic<int> tasks{0};
    LiveStreamingHooks hooks;
    hooks.new_live_task = [&](const std::string&, const std::string&, const std::string&) {
      tasks.fetch_add(1);
      return static_cast<LiveTask>(&tasks);
    };
    hooks.send_recorder_stopped = [&](LiveTask) { tasks.fetch_add(10); };
    CountingPreview preview;
    auto host = std::make_unique<MediaCaptureWriterHost>(
        dispatcher.CreateSerialQueue("com.selvo.queue"), hooks);

    std::atomic<int> step{0};
    std::atomic<bool> done{false};
    dispatcher.MainQueue().Async([&] {
      host->SetupCaptureWithBlock([&] {
        host->InitPreviewView(&preview);
        host->OpenCaptpure();
        host->StartWritingWithVideoUuid("U", 0, [&](bool ok) {
          EXPECT_TRUE(ok);
          step.store(1);
        });
      });
    });
    std::thread camera([&] {
      for (int64_t i = 0; !done.load(); ++i) {
        media.capture.PushVideoFrame(platform::MakeTestFrame(320, 240, i * 100000));
        media.capture.PushAudio(platform::MakeTestAudio(441, i * 100000));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    });
    ASSERT_TRUE(dispatcher.RunMainLoopUntil([&] { return step.load() == 1; }, std::chrono::seconds(10)));
    dispatcher.MainQueue().Async([&] {
      host->ProposeVideoScaleFactor(1.5f);
      host->SwitchFilter();
    });
    ASSERT_TRUE(dispatcher.RunMainLoopUntil(
        [&] {
          return preview.frames.load() > 20;
        },
        std::chrono::seconds(10)));
    dispatcher.MainQueue().Async([&] {
      host->StopWritingWithBlock([&](const StoppedRecording& stopped) {
        EXPECT_TRUE(stopped.video_finished);
        EXPECT_TRUE(stopped.audio_finished);
        step.store(2);
      });
    });
    ASSERT_TRUE(dispatcher.RunMainLoopUntil([&] { return step.load() == 2; }, std::chrono::seconds(10)));
    done.store(true);
    camera.join();
    host->InitPreviewView(nullptr);
    host.reset();
    EXPECT_EQ(tasks.load(), 11);
  }
  platform::SetStandardPreferences(nullptr);
  platform::SetDefaultEnvironment(nullptr);
  platform::SetDefaultDispatcher(nullptr);
}

}  // namespace
}  // namespace capture
