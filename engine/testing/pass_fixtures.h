// Test helper for streaming passes: a sink and an observer that record what they get, and
// checks of pieces against those of another pass.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/streaming_pass.h"
#include "engine/testing/box_builder.h"
#include "engine/testing/ts_parser.h"

namespace selvo::testing {

struct Piece {
  uint32_t segment;
  uint32_t piece;
  Bytes data;
};

// Collects pieces; fails the piece `fail_at` (counted from 1) with `failure`.
class FakeSink : public PieceSink {
 public:
  SinkStatus Open(const std::string& video_path) override {
    opened.push_back(video_path);
    return open_status;
  }
  SinkStatus Piece(uint32_t segment, uint32_t piece, const uint8_t* data, size_t size) override {
    if (++attempts == fail_at) return failure;
    pieces.push_back({segment, piece, Bytes(data, data + size)});
    return SinkStatus::kOk;
  }
  void Close() override { ++closed; }

  std::vector<std::string> opened;
  std::vector<struct Piece> pieces;
  SinkStatus open_status = SinkStatus::kOk;
  int attempts = 0;
  int fail_at = -1;
  SinkStatus failure = SinkStatus::kFailed;
  int closed = 0;
};

class ProgressLog : public PassObserver {
 public:
  void MediaLocated(const StreamProgress& progress) override { located.push_back(progress); }
  void PieceAccepted(uint32_t segment, uint32_t piece, const StreamProgress& progress) override {
    sent.emplace_back(segment, piece);
    after.push_back(progress);
  }
  std::vector<StreamProgress> located;
  std::vector<std::pair<uint32_t, uint32_t>> sent;
  std::vector<StreamProgress> after;
};

// The elementary streams of pieces: every PES with its PID, PTS and payload.
struct Streams {
  std::vector<Pes> pes;
  std::string error;
};

inline Streams Demux(const std::vector<Piece>& pieces) {
  Bytes all;
  for (const Piece& piece : pieces) all.insert(all.end(), piece.data.begin(), piece.data.end());
  Streams streams;
  const auto packets = ParseTs(all, &streams.error);
  streams.pes = CollectPes(packets, &streams.error);
  return streams;
}

inline bool StartsWithTables(const Bytes& piece) {
  return piece.size() >= 3 * 188 && piece[1] == 0x40 && piece[2] == 0x11 &&
         piece[188 + 2] == 0x00 && piece[376 + 1] == 0x50;
}

// Checks that `resumed` carries the same elementary streams (PES by PES: stream, time stamp
// and payload) as `expected`, however the two are cut into pieces.
inline void ExpectSameStreams(const std::vector<Piece>& expected_pieces,
                              const std::vector<Piece>& resumed_pieces) {
  const Streams expected = Demux(expected_pieces);
  const Streams resumed = Demux(resumed_pieces);
  ASSERT_EQ(resumed.error, "");
  ASSERT_EQ(resumed.pes.size(), expected.pes.size());
  for (size_t i = 0; i < expected.pes.size(); ++i) {
    EXPECT_EQ(resumed.pes[i].pid, expected.pes[i].pid);
    EXPECT_EQ(resumed.pes[i].pts, expected.pes[i].pts);
    EXPECT_EQ(resumed.pes[i].payload, expected.pes[i].payload);
  }
}

// Checks that `first` (accepted pieces of a pass) and `second` (a resumed pass) carry what
// the pass over the finished files put into `finished`: the same bytes in the same pieces
// up to the resumption, the same elementary streams after it.
inline void ExpectSameAsFinished(const std::vector<Piece>& finished,
                                 const std::vector<Piece>& first, size_t accepted,
                                 const std::vector<Piece>& second) {
  ASSERT_LE(accepted, first.size());
  ASSERT_EQ(accepted + second.size(), finished.size());
  for (size_t i = 0; i < accepted; ++i) {
    EXPECT_EQ(first[i].data, finished[i].data) << "piece " << i;
  }
  ExpectSameStreams({finished.begin() + static_cast<long>(accepted), finished.end()}, second);
}

}  // namespace selvo::testing
