#include <gtest/gtest.h>

#include <fstream>

#include "platform/file_system.h"
#include "platform/testing/fake_environment.h"
#include "store/storelib.h"

namespace storelib {
namespace {

class CacheCleaningTest : public ::testing::Test {
 protected:
  void TearDown() override { platform::RemoveTree(dir_); }

  void MakeFiles(const std::string& prefix, int count) {
    for (int i = 0; i < count; ++i)
      std::ofstream(dir_ + "/" + prefix + std::to_string(i) + ".png") << "x";
  }
  size_t CountFiles(const std::string& prefix) {
    size_t n = 0;
    for (const auto& name : platform::DefaultFileSystem().ListDirectory(dir_)) {
      n += name.starts_with(prefix);
    }
    return n;
  }

  std::string dir_ = platform::MakeTempDirectory("cache-cleaning");
};

TEST_F(CacheCleaningTest, ThumbnailsGoAllAtOnceBeyond300) {
  struct Case {
    int files;
    size_t left;
  };
  for (Case c : {Case{300, 300}, Case{301, 0}}) {
    SCOPED_TRACE(c.files);
    MakeFiles("", c.files);
    platform::DefaultFileSystem().CreateDirectories(dir_ + "/subdirectory");
    CleanThumbnailCache(dir_);
    EXPECT_EQ(CountFiles(""), c.left + 1);  // the directory stays
    CleanThumbnailCache(dir_);              // nothing left to do
    CleanThumbnailCache(dir_ + "/missing");
    platform::RemoveTree(dir_);
    platform::DefaultFileSystem().CreateDirectories(dir_);
  }
}

TEST_F(CacheCleaningTest, AvatarsSpareFriendsAndTheOwnAvatar) {
  struct Case {
    int others;  // the own avatar "7.png" included
    size_t others_left;
  };
  for (Case c : {Case{200, 200}, Case{201, 1}}) {
    SCOPED_TRACE(c.others);
    MakeFiles("buddy_", 150);
    MakeFiles("", c.others - 1);
    std::ofstream(dir_ + "/own.png") << "me";
    CleanAvatarCache(dir_ + "/own.png", dir_);
    EXPECT_EQ(CountFiles("buddy_"), 150u);
    EXPECT_EQ(CountFiles("") - 150, c.others_left);
    EXPECT_TRUE(platform::DefaultFileSystem().Exists(dir_ + "/own.png"));
    platform::RemoveTree(dir_);
    platform::DefaultFileSystem().CreateDirectories(dir_);
  }
}

}  // namespace
}  // namespace storelib
