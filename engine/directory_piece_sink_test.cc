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

TEST(DirectoryPieceSinkTest, PiecesAppearTogetherWhenTheStreamCloses) {
  TempDir dir;
  const std::vector<uint8_t> first(376, 0x47);
  const std::vector<uint8_t> eleventh(188, 0x47);
  for (bool existing_empty : {false, true}) {
    const std::string out = dir.File(existing_empty ? "empty" : "new");
    if (existing_empty) std::filesystem::create_directory(out);
    DirectoryPieceSink sink(out);
    ASSERT_EQ(sink.Open("video.mov"), SinkStatus::kOk);
    ASSERT_EQ(sink.Piece(1, 1, first.data(), first.size()), SinkStatus::kOk);
    ASSERT_EQ(sink.Piece(2, 10, eleventh.data(), eleventh.size()), SinkStatus::kOk);
    EXPECT_EQ(existing_empty, std::filesystem::exists(out));
    if (existing_empty) {
      EXPECT_TRUE(Names(out).empty());
    }
    sink.Close();
    ASSERT_TRUE(sink.committed()) << sink.error();
    EXPECT_EQ(Names(out), (std::vector<std::string>{"000001-01.ts", "000002-10.ts"}));
    EXPECT_EQ(ReadFile(out + "/000001-01.ts"), first);
  }
  EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"empty", "new"}));
  EXPECT_EQ(DirectoryPieceSink::PieceName(123456, 7), "123456-07.ts");
}

TEST(DirectoryPieceSinkTest, AStreamThatFailsLeavesNothing) {
  TempDir dir;
  const uint8_t byte = 0x47;
  {
    DirectoryPieceSink discarded(dir.File("out"));
    ASSERT_EQ(discarded.Open(""), SinkStatus::kOk);
    ASSERT_EQ(discarded.Piece(1, 1, &byte, 1), SinkStatus::kOk);
    discarded.Discard();
    DirectoryPieceSink abandoned(dir.File("out"));
    ASSERT_EQ(abandoned.Open(""), SinkStatus::kOk);
    ASSERT_EQ(abandoned.Piece(1, 1, &byte, 1), SinkStatus::kOk);
  }
  EXPECT_TRUE(Names(dir.path()).empty());
}

TEST(DirectoryPieceSinkTest, ReportsWhatCannotBeWritten) {
  TempDir dir;
  testing::WriteFile(dir.File("file"), {1});
  struct Case {
    std::string name;
    std::string path;
    std::string error;
  };
  std::filesystem::create_directory(dir.File("full"));
  testing::WriteFile(dir.File("full/000001-01.ts"), {1});
  const Case cases[] = {
      {"a file", dir.File("file"), "is not a directory"},
      {"a directory with something in it", dir.File("full"), "is not empty"},
      {"no parent", dir.File("missing/pieces"), "failed: "},
  };
  for (const Case& c : cases) {
    DirectoryPieceSink sink(c.path);
    EXPECT_EQ(sink.Open(""), SinkStatus::kFailed) << c.name;
    EXPECT_NE(sink.error().find(c.error), std::string::npos) << c.name << ": " << sink.error();
  }
  DirectoryPieceSink not_open(dir.File("out"));
  const uint8_t byte = 0x47;
  EXPECT_EQ(not_open.Piece(1, 1, &byte, 1), SinkStatus::kFailed);
}

TEST(DirectoryPieceSinkTest, AWriteThatFailsInTheBackgroundIsReportedNext) {
  TempDir dir;
  DirectoryPieceSink sink(dir.File("out"));
  ASSERT_EQ(sink.Open(""), SinkStatus::kOk);
  // The staging directory disappears under the sink: writing the first piece fails.
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    ASSERT_NE(entry.path().string().find("out.partial-"), std::string::npos);
    std::filesystem::remove_all(entry.path());
  }
  const std::vector<uint8_t> data(1000, 0x47);
  EXPECT_EQ(sink.Piece(1, 1, data.data(), data.size()), SinkStatus::kOk);  // handed over
  EXPECT_EQ(sink.Piece(1, 2, data.data(), data.size()), SinkStatus::kFailed);
  EXPECT_NE(sink.error().find("000001-01.ts failed: "), std::string::npos) << sink.error();
  sink.Close();
  EXPECT_FALSE(sink.committed());
  EXPECT_FALSE(std::filesystem::exists(dir.File("out")));
}

}  // namespace
}  // namespace selvo
