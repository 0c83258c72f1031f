// PieceSink: where a streaming pass delivers its transport-stream pieces.
//
// An upload stream is an open, a sequence of pieces numbered by segment (from 1) and
// position in the segment (1 to 10), and a close. The upload client sends them to the
// ingest server; the piece writer of `selvo segment` writes them to files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/streaming_result.h"

namespace selvo {

// Outcome of opening the stream or delivering a piece.
enum class SinkStatus : int {
  kOk = 0,
  kFailed = 1,        // any other failure (network, disk)
  kUnauthorized = 2,  // the access token was refused
  kTooLarge = 3,      // the receiver refused the piece's size
};

class PieceSink {
 public:
  virtual ~PieceSink() = default;

  // Opens (or resumes) the stream. `video_path` is the video recording, whose thumbnail is
  // the path plus ".jpg"; it is empty for an audio-only stream.
  virtual SinkStatus Open(const std::string& video_path) = 0;
  // Delivers one piece: `size` bytes of 188-byte TS packets. The first piece of every
  // segment, and the first of every pass, begins with the SDT, PAT and PMT. The bytes stay
  // unchanged until the next Piece or Close call, so a sink may finish with them in the
  // background; it then reports a failure it finds at that next call.
  virtual SinkStatus Piece(uint32_t segment, uint32_t piece, const uint8_t* data, size_t size) = 0;
  // All media was delivered. Nothing depends on the outcome.
  virtual void Close() = 0;
};

// The result a task reports for a failed sink call.
inline StreamingResult ResultForSinkStatus(SinkStatus status) {
  switch (status) {
    case SinkStatus::kUnauthorized:
      return kErrorAccessToken;
    case SinkStatus::kTooLarge:
      return kErrorHttpBufferOverflow;
    default:
      return kErrorNetwork;
  }
}

}  // namespace selvo
