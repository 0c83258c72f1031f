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

TEST(TsScanTest, APieceWithOneTimedPesLastsAsLongAsItsSound) {
  // The audio that trails a recording's last picture: one PES of four ADTS frames of
  // 1024 samples at 22050 Hz (185.7 ms), spread over three packets.
  std::string adts;
  for (int i = 0; i < 4; ++i) {
    std::string frame("\xFF\xF1\x5C\x40\x00\x00\xFC", 7);  // LC, 22050 Hz, mono
    const int length = 90;
    frame[3] = static_cast<char>(0x40 | (length >> 11));
    frame[4] = static_cast<char>((length >> 3) & 0xFF);
    frame[5] = static_cast<char>(((length & 7) << 5) | 0x1F);
    adts += frame + std::string(length - 7, '\x21');
  }
  std::string pes("\x00\x00\x01\xC0\x00\x00\x80\x80\x05\x21\x00\x01\x00\x01", 14);
  const size_t first = 184 - pes.size();
  std::string piece = testing::Packet(0x0101, true, pes + adts.substr(0, first)) +
                      testing::Packet(0x0101, false, adts.substr(first, 184)) +
                      testing::Packet(0x0101, false, adts.substr(first + 184));
  // The last packet's payload ends in stuffing here, as a real one ends in an
  // adaptation field; the frames are read up to the first byte that is not one.
  PieceScan scan = ScanPiece(piece);
  ASSERT_TRUE(scan.valid);
  EXPECT_EQ(scan.pes_count, 1);
  EXPECT_EQ(scan.audio_us, 4 * (1024 * 1'000'000LL / 22050));
  EXPECT_EQ(scan.EstimatedDurationUs(1'000'000), scan.audio_us);
  // Without sound, the nominal second.
  EXPECT_EQ(ScanPiece(testing::Piece(false, 0, 1)).EstimatedDurationUs(1'000'000), 1'000'000);
  // The tables alone, as the last piece of an upload whose media had all gone out before
  // it: nothing to play.
  EXPECT_EQ(ScanPiece(testing::Tables()).EstimatedDurationUs(1'000'000), 0);
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
