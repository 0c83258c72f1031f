// The ingest rules and durability of the media store, on real files.
#include "server/media_store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "server/ts_test_pieces.h"

namespace server {
namespace {

using testing::Piece;
using testing::Tables;

constexpr StreamId kStream{StreamId::Kind::kVideo, 7};

class MediaStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::filesystem::temp_directory_path() /
            ("media-store-test-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(root_);
    store_ = std::make_unique<MediaStore>(root_.string(), limits_);
  }
  void TearDown() override {
    store_.reset();
    std::filesystem::remove_all(root_);
  }
  // Piece n of a stream: ten per segment, tables on the first of each ten.
  static std::string NthPiece(int n, int frames = 10) {
    return Piece((n - 1) % 10 == 0, int64_t{n - 1} * 90000, frames);
  }
  int Add(int n, const std::string& data) {
    return store_->AddPiece(kStream, (n - 1) / 10 + 1, (n - 1) % 10 + 1, data).status;
  }
  std::vector<std::string> Uris() {
    std::vector<std::string> uris;
    std::istringstream text(store_->Playlist(kStream, "k"));
    for (std::string line; std::getline(text, line);) {
      if (!line.empty() && line[0] != '#') uris.push_back(line);
    }
    return uris;
  }

  std::filesystem::path root_;
  MediaLimits limits_;
  std::unique_ptr<MediaStore> store_;
};

TEST_F(MediaStoreTest, ExtendsReplacesAndRefusesToSkip) {
  EXPECT_EQ(Add(1, NthPiece(1)), 409);  // not open yet
  ASSERT_EQ(store_->Open(kStream, "").status, 200);
  for (int n = 1; n <= 12; ++n) ASSERT_EQ(Add(n, NthPiece(n)), 200) << n;
  EXPECT_EQ(Uris().size(), 12u);
  EXPECT_EQ(Uris()[11], "k_12.ts");

  // Skipping ahead is refused and changes nothing.
  IngestResult skip = store_->AddPiece(kStream, 2, 4, NthPiece(14));
  EXPECT_EQ(skip.status, 409);
  EXPECT_NE(skip.msg.find("next piece is seg=2 sec=3"), std::string::npos);

  // The last piece again (its answer was lost): it replaces itself.
  ASSERT_EQ(Add(12, NthPiece(12)), 200);
  EXPECT_EQ(Uris().size(), 12u);
  EXPECT_EQ(Uris()[11], "k_13.ts");

  // An older position (a resume from an older saved state): the stream is
  // cut there and continues; no position is listed twice.
  ASSERT_EQ(Add(5, NthPiece(5)), 200);
  ASSERT_EQ(Add(6, NthPiece(6)), 200);
  std::vector<std::string> uris = Uris();
  ASSERT_EQ(uris.size(), 6u);
  EXPECT_EQ(uris[3], "k_4.ts");
  EXPECT_EQ(uris[4], "k_14.ts");
  EXPECT_EQ(uris[5], "k_15.ts");
  EXPECT_EQ(store_->Info(kStream).duration_us, 6'000'000);

  ASSERT_EQ(store_->Close(kStream).status, 200);
  EXPECT_TRUE(store_->Playlist(kStream, "k").ends_with("#EXT-X-ENDLIST\n"));
  EXPECT_EQ(Add(7, NthPiece(7)), 409);  // closed
  ASSERT_EQ(store_->Open(kStream, "").status, 200);  // a resumed upload reopens it
  EXPECT_EQ(Add(7, NthPiece(7)), 200);
  EXPECT_EQ(store_->Playlist(kStream, "k").find("ENDLIST"), std::string::npos);
}

TEST_F(MediaStoreTest, ServesEveryPieceWithItsSegmentTables) {
  ASSERT_EQ(store_->Open(kStream, "").status, 200);
  for (int n = 1; n <= 3; ++n) ASSERT_EQ(Add(n, NthPiece(n)), 200);
  EXPECT_EQ(*store_->Segment(kStream, 1), NthPiece(1));  // has its own
  EXPECT_EQ(*store_->Segment(kStream, 3), Tables() + NthPiece(3));
  EXPECT_FALSE(store_->Segment(kStream, 99).has_value());
}

TEST_F(MediaStoreTest, SurvivesRestartAndTornJournal) {
  ASSERT_EQ(store_->Open(kStream, "\xFF\xD8\xFF\xE0 jpeg").status, 200);
  for (int n = 1; n <= 4; ++n) ASSERT_EQ(Add(n, NthPiece(n)), 200);
  std::string before = store_->Playlist(kStream, "k");
  // A crash in the middle of a journal line.
  store_.reset();
  std::ofstream(root_ / "video/7/journal", std::ios::app) << "piece 5 5 100";
  store_ = std::make_unique<MediaStore>(root_.string(), limits_);
  EXPECT_EQ(store_->Playlist(kStream, "k"), before);
  EXPECT_EQ(store_->Thumbnail(kStream)->first, "image/jpeg");
  // The upload continues where it was.
  ASSERT_EQ(Add(5, NthPiece(5)), 200);
  EXPECT_EQ(Uris().size(), 5u);
  store_ = std::make_unique<MediaStore>(root_.string(), limits_);
  EXPECT_EQ(Uris().size(), 5u);
  EXPECT_EQ(*store_->Segment(kStream, 5), Tables() + NthPiece(5));
}

TEST_F(MediaStoreTest, RefusesBadInput) {
  limits_.max_piece_bytes = 188 * 20;
  limits_.max_stream_bytes = 188 * 25;
  store_ = std::make_unique<MediaStore>(root_.string(), limits_);
  EXPECT_EQ(store_->Open(kStream, "GIF89a").status, 400);
  ASSERT_EQ(store_->Open(kStream, "\x89PNG\r\n\x1A\n....").status, 200);
  EXPECT_EQ(store_->Thumbnail(kStream)->first, "image/png");
  EXPECT_EQ(store_->AddPiece(kStream, 0, 1, NthPiece(1)).status, 400);
  EXPECT_EQ(store_->AddPiece(kStream, 1, 11, NthPiece(1)).status, 400);
  EXPECT_EQ(store_->AddPiece(kStream, 1, 1, "not a transport stream").status, 400);
  EXPECT_EQ(store_->AddPiece(kStream, 1, 1, NthPiece(1, 30)).status, 413);  // piece too large
  ASSERT_EQ(Add(1, NthPiece(1)), 200);                                       // 12 packets
  EXPECT_EQ(Add(2, NthPiece(2, 14)), 413);                                  // stream full
  EXPECT_EQ(Add(2, NthPiece(2, 10)), 200);
  EXPECT_EQ(store_->Info(kStream).pieces, 2);
  store_->Remove(kStream);
  EXPECT_FALSE(std::filesystem::exists(root_ / "video/7"));
  EXPECT_EQ(store_->Info(kStream).pieces, 0);
}

}  // namespace
}  // namespace server
