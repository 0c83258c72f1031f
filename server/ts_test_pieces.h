// Synthetic transport-stream pieces for the origin's unit tests: program
// tables and PES starts with chosen presentation times, nothing else.
#pragma once

#include <cstdint>
#include <string>

namespace server::testing {

inline std::string Packet(int pid, bool unit_start, const std::string& payload, int cc = 0) {
  std::string packet(188, '\xFF');
  packet[0] = 0x47;
  packet[1] = static_cast<char>((unit_start ? 0x40 : 0) | ((pid >> 8) & 0x1F));
  packet[2] = static_cast<char>(pid & 0xFF);
  packet[3] = static_cast<char>(0x10 | (cc & 15));
  packet.replace(4, payload.size(), payload);
  return packet;
}

// PAT (program 1 -> PMT 0x1000) and PMT (H.264 on 0x0100, AAC on 0x0101); the
// CRCs are not checked by the scanner and left as zeros.
inline std::string Tables() {
  std::string pat("\x00\x00\xB0\x0D\x00\x01\xC1\x00\x00\x00\x01\xF0\x00\x00\x00\x00\x00", 17);
  std::string pmt("\x00\x02\xB0\x1D\x00\x01\xC1\x00\x00\xE1\x00\xF0\x00\x1B\xE1\x00\xF0\x00"
                  "\x0F\xE1\x01\xF0\x00\x00\x00\x00\x00", 27);
  return Packet(0x0000, true, pat) + Packet(0x1000, true, pmt);
}

inline std::string Pes(int pid, int64_t pts) {
  std::string pes("\x00\x00\x01\xE0\x00\x00\x80\x80\x05", 9);
  pes += static_cast<char>(0x21 | ((pts >> 29) & 0x0E));
  pes += static_cast<char>((pts >> 22) & 0xFF);
  pes += static_cast<char>(((pts >> 14) & 0xFE) | 1);
  pes += static_cast<char>((pts >> 7) & 0xFF);
  pes += static_cast<char>(((pts << 1) & 0xFE) | 1);
  return Packet(pid, true, pes);
}

// `frames` video PES 0.1 s apart from `start_pts` (90 kHz), optionally after the tables.
inline std::string Piece(bool tables, int64_t start_pts, int frames = 10) {
  std::string piece = tables ? Tables() : std::string();
  for (int i = 0; i < frames; ++i) piece += Pes(0x0100, start_pts + i * 9000);
  return piece;
}

}  // namespace server::testing
