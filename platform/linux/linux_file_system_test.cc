#include "platform/linux/linux_file_system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "platform/testing/fake_environment.h"

namespace platform {
namespace {

class LinuxFileSystemTest : public ::testing::Test {
 protected:
  void TearDown() override { RemoveTree(dir_); }
  LinuxFileSystem impl_;
  FileSystem& fs_ = impl_;
  std::string dir_ = MakeTempDirectory("fs-test");
};

TEST_F(LinuxFileSystemTest, AtomicWriteReplacesAndLeavesNoTemporaryFiles) {
  const std::string path = dir_ + "/list.txt";
  ASSERT_TRUE(fs_.WriteFileAtomically(path, "old", 0600));
  ASSERT_TRUE(fs_.WriteFileAtomically(path, "new contents", 0600));
  EXPECT_EQ(fs_.ReadFile(path), "new contents");
  EXPECT_EQ(fs_.ListDirectory(dir_), std::vector<std::string>{"list.txt"});
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(LinuxFileSystemTest, FailedWriteKeepsTheOldFile) {
  const std::string path = dir_ + "/sub/file";
  std::string error;
  EXPECT_FALSE(fs_.WriteFileAtomically(path, "x", 0644, &error));  // no such directory
  EXPECT_NE(error.find("cannot create"), std::string::npos);
  ASSERT_TRUE(fs_.CreateDirectories(dir_ + "/sub"));
  ASSERT_TRUE(fs_.WriteFileAtomically(path, "kept", 0644));
  ::chmod((dir_ + "/sub").c_str(), 0500);  // no new files may be made beside it
  bool wrote = fs_.WriteFileAtomically(path, "lost", 0644);
  ::chmod((dir_ + "/sub").c_str(), 0700);
  if (::geteuid() != 0) {
    EXPECT_FALSE(wrote);  // root ignores the mode
  }
  if (!wrote) {
    EXPECT_EQ(fs_.ReadFile(path), "kept");
  }
}

TEST_F(LinuxFileSystemTest, StatRemoveAndList) {
  EXPECT_FALSE(fs_.Stat(dir_ + "/none"));
  EXPECT_TRUE(fs_.RemoveFile(dir_ + "/none"));
  ASSERT_TRUE(fs_.WriteFileAtomically(dir_ + "/a", "12345"));
  EXPECT_EQ(fs_.Stat(dir_ + "/a")->size, 5u);
  EXPECT_TRUE(fs_.Stat(dir_)->is_directory);
  EXPECT_TRUE(fs_.RemoveFile(dir_ + "/a"));
  EXPECT_FALSE(fs_.Exists(dir_ + "/a"));
  EXPECT_FALSE(fs_.ReadFile(dir_ + "/a"));
}

}  // namespace
}  // namespace platform
