// Reads what the origin needs from one uploaded piece of MPEG-2 transport
// stream: whether it is well formed, the stream tables it opens with, and the
// presentation times it covers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace server {

constexpr size_t kTsPacketSize = 188;

struct PieceScan {
  bool valid = false;
  std::string error;  // why it is not valid
  // The program tables (SDT, PAT, PMT packets) the piece begins with, copied;
  // empty when it begins with media. The first piece of every ten carries them.
  std::string tables;
  // Presentation times, in 90 kHz units, of the timing stream (video when
  // present, else audio): first and last PES start, and how many PES started.
  int64_t first_pts = -1;
  int64_t last_pts = -1;
  int pes_count = 0;
  // The sound its audio PES carry (ADTS-framed AAC), in microseconds.
  int64_t audio_us = 0;

  // The piece's duration in microseconds, estimated from its own times: the
  // span of its PES starts plus one average PES interval. With fewer than two
  // timed PES, the sound it carries, or else `fallback_us`; 0 for a piece that
  // holds no PES.
  int64_t EstimatedDurationUs(int64_t fallback_us) const;
};

PieceScan ScanPiece(std::string_view data);

}  // namespace server
