#include "platform/file_preference_store.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/file_system.h"
#include "platform/json.h"
#include "platform/testing/fake_environment.h"

namespace platform {
namespace {

class FilePreferenceStoreTest : public ::testing::Test {
 protected:
  void TearDown() override { RemoveTree(dir_); }
  std::string dir_ = MakeTempDirectory("prefs-test");
  std::string path_ = dir_ + "/preferences.json";
};

TEST_F(FilePreferenceStoreTest, ValuesSurviveAReloadOnlyAfterSynchronize) {
  {
    FilePreferenceStore store(path_);
    store.Set("latitude", 31.25f);
    store.Set("name", "Zhang");
    ASSERT_TRUE(store.Synchronize());
    store.Set("unsaved", 1);
  }
  FilePreferenceStore reloaded(path_);
  EXPECT_FLOAT_EQ(static_cast<float>(reloaded.Get("latitude").AsDouble()), 31.25f);
  EXPECT_EQ(reloaded.Get("name").AsString(), "Zhang");
  EXPECT_TRUE(reloaded.Get("unsaved").is_null());
  struct stat st;
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(FilePreferenceStoreTest, CorruptFileIsSetAsideAndTheStoreStartsEmpty) {
  ASSERT_TRUE(DefaultFileSystem().WriteFileAtomically(path_, "{\"a\":"));
  FilePreferenceStore store(path_);
  EXPECT_TRUE(store.Snapshot().empty());
  EXPECT_EQ(DefaultFileSystem().ReadFile(path_ + ".corrupt"), "{\"a\":");
}

// A process killed at any moment of its writes leaves a file that parses, with
// one of the versions it wrote.
TEST_F(FilePreferenceStoreTest, KillDuringWritesLeavesAReadableFile) {
  for (int round = 0; round < 5; ++round) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      FilePreferenceStore store(path_);
      std::string filler(20000, 'x');
      for (int i = 0;; ++i) {
        store.Set("counter", i);
        store.Set("filler", filler);
        store.Synchronize();
      }
    }
    ::usleep(20000 + round * 7000);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    auto text = DefaultFileSystem().ReadFile(path_);
    if (!text) continue;  // killed before the first rename
    auto parsed = ParseJson(*text);
    ASSERT_TRUE(parsed) << "torn file after kill in round " << round;
    EXPECT_EQ((*parsed)["filler"].AsString().size(), 20000u);
  }
}

}  // namespace
}  // namespace platform
