#include "server/ts_scan.h"

#include <gtest/gtest.h>

#include "server/ts_test_pieces.h"

namespace server {
namespace {

TEST(TsScanTest, FindsTablesAndTimes) {
  PieceScan scan = ScanPiece(testing::Piece(true, 90000, 10));
  ASSERT_TRUE(scan.valid) << scan.error;
  EXPECT_EQ(scan.tables, testing::Tables());
  EXPECT_EQ(scan.first_pts, 90000);
  EXPECT_EQ(scan.last_pts, 90000 + 9 * 9000);
  EXPECT_EQ(scan.pes_count, 10);
  EXPECT_EQ(scan.EstimatedDurationUs(0), 1'000'000);

  PieceScan plain = ScanPiece(testing::Piece(false, 0, 10));
  ASSERT_TRUE(plain.valid);
  EXPECT_TRUE(plain.tables.empty());
  EXPECT_EQ(plain.EstimatedDurationUs(0), 1'000'000);
}

TEST(TsScanTest, AudioOnlyPiecesAreTimedByAudio) {
  std::string piece = testing::Tables();
  for (int i = 0; i < 5; ++i) piece += testing::Pes(0x0101, i * 18000);
  PieceScan scan = ScanPiece(piece);
  ASSERT_TRUE(scan.valid);
  EXPECT_EQ(scan.EstimatedDurationUs(0), 1'000'000);
}

TEST(TsScanTest, RefusesWhatIsNotTransportStream) {
  EXPECT_FALSE(ScanPiece("").valid);
  EXPECT_FALSE(ScanPiece(std::string(187, '\x47')).valid);
  std::string bad = testing::Piece(false, 0, 2);
  bad[188] = 0x00;
  PieceScan scan = ScanPiece(bad);
  EXPECT_FALSE(scan.valid);
  EXPECT_NE(scan.error.find("byte 188"), std::string::npos);
  // One PES gives no duration of its own.
  EXPECT_EQ(ScanPiece(testing::Piece(false, 0, 1)).EstimatedDurationUs(777), 777);
}

}  // namespace
}  // namespace server
