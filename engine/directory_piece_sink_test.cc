#include "engine/directory_piece_sink.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/testing/temp_dir.h"

namespace selvo {
namespace {

using selvo::testing::ReadFile;
using selvo::testing::TempDir;

std::vector<std::string> Names(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(DirectoryPieceSinkTest, WritesNumberedPiecesAndCanTakeThemBack) {
  TempDir dir;
  const std::string out = dir.File("pieces");
  DirectoryPieceSink sink(out);
  ASSERT_EQ(sink.Open("video.mov"), SinkStatus::kOk);
  const std::vector<uint8_t> first(376, 0x47);
  const std::vector<uint8_t> eleventh(188, 0x47);
  ASSERT_EQ(sink.Piece(1, 1, first.data(), first.size()), SinkStatus::kOk);
  ASSERT_EQ(sink.Piece(2, 10, eleventh.data(), eleventh.size()), SinkStatus::kOk);
  sink.Close();
  EXPECT_TRUE(sink.closed());
  EXPECT_EQ(Names(out), (std::vector<std::string>{"000001-01.ts", "000002-10.ts"}));
  EXPECT_EQ(ReadFile(out + "/000001-01.ts"), first);
  EXPECT_EQ(DirectoryPieceSink::PieceName(123456, 7), "123456-07.ts");

  sink.Discard();
  EXPECT_FALSE(std::filesystem::exists(out));  // it made the directory, so it goes too
}

TEST(DirectoryPieceSinkTest, ReportsWhatCannotBeWritten) {
  TempDir dir;
  testing::WriteFile(dir.File("file"), {1});
  DirectoryPieceSink not_a_directory(dir.File("file"));
  EXPECT_EQ(not_a_directory.Open(""), SinkStatus::kFailed);
  EXPECT_NE(not_a_directory.error().find("not a directory"), std::string::npos);

  DirectoryPieceSink no_parent(dir.File("missing/pieces"));
  EXPECT_EQ(no_parent.Open(""), SinkStatus::kFailed);
  EXPECT_NE(no_parent.error().find("failed: "), std::string::npos);

  // An existing directory is used as it is and kept by Discard.
  DirectoryPieceSink existing(dir.path());
  ASSERT_EQ(existing.Open(""), SinkStatus::kOk);
  const uint8_t byte = 0x47;
  ASSERT_EQ(existing.Piece(1, 1, &byte, 1), SinkStatus::kOk);
  ::chmod(dir.path().c_str(), 0500);
  if (::geteuid() != 0) {  // root writes anyway
    EXPECT_EQ(existing.Piece(1, 2, &byte, 1), SinkStatus::kFailed);
    EXPECT_NE(existing.error().find("failed: "), std::string::npos);
  }
  ::chmod(dir.path().c_str(), 0700);
  existing.Discard();
  EXPECT_TRUE(std::filesystem::exists(dir.path()));
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"file"});
}

}  // namespace
}  // namespace selvo
