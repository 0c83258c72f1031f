// The engine's place in the application's lifecycle, on the fake platform.
#include "app/streaming_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/streaming_library.h"
#include "platform/file_system.h"
#include "platform/testing/fake_platform.h"
#include "shell/selvo_app_delegate.h"
#include "shell/selvo_utils.h"

namespace app {
namespace {

std::string ListOf(platform::FakePlatform& fake, const std::string& user_hex) {
  return platform::DefaultFileSystem()
      .ReadFile(fake.environment.DocumentsDirectory() + "/uploadlist_" + user_hex + "_1.2.txt")
      .value_or("");
}

TEST(StreamingEngineTest, TheEngineLivesFromLaunchToTerminationOnTheApplicationQueue) {
  platform::FakePlatform fake;
  shell::StartupHooks hooks;
  AddStreamingEngineHooks(hooks, GlobalOptions{});
  shell::SelvoAppDelegate delegate(hooks);
  fake.application.set_delegate(&delegate);
  EXPECT_FALSE(RunOnEngine([] {}));  // no application queue before launch
  fake.application.Launch();
  fake.dispatcher.RunUntilIdle();

  // At sign-in the user's tasks load on the engine's queue; a recording's task is saved
  // in that user's list.
  LoadUserStreamingTasks("12");
  bool ran = false;
  ASSERT_TRUE(RunOnEngine(
      [&] { ran = selvo::NewLiveStreamingTask("rec-1", "/r/v.mov", "/r/a.mov") != nullptr; }));
  fake.dispatcher.RunUntilIdle();
  EXPECT_TRUE(ran);
  EXPECT_EQ(ListOf(fake, "3132").rfind("rec-1 ", 0), 0u) << ListOf(fake, "3132");

  // Background time running low stops the tasks: the recording becomes a queued file task,
  // whose files the clean-up of finished recordings keeps.
  fake.application.EnterBackground();
  fake.dispatcher.AdvanceBy(std::chrono::seconds(121));
  std::vector<std::string> kept;
  RunOnEngine([&] { kept = shell::SelvoUtils::seams().queued_task_files(); });
  fake.dispatcher.RunUntilIdle();
  EXPECT_EQ(kept, (std::vector<std::string>{"/r/v.mov", "/r/a.mov", "/r/v.mov.jpg"}));

  // Termination stops and terminates the engine on its queue; later blocks do nothing.
  fake.application.Terminate();
  ran = false;
  RunOnEngine([&] { ran = true; });
  fake.dispatcher.RunUntilIdle();
  EXPECT_FALSE(ran);
  EXPECT_EQ(ListOf(fake, "3132").rfind("rec-1 ", 0), 0u);
}

TEST(StreamingEngineTest, UserHexTextIsTheFilePrefix) {
  EXPECT_EQ(UserHexText("12"), "3132");
  EXPECT_EQ(UserHexText(""), "");
}

}  // namespace
}  // namespace app
