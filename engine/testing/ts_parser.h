// Test helper: takes transport-stream packets apart.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace selvo::testing {

struct TsPacket {
  uint16_t pid = 0;
  bool unit_start = false;
  int continuity = 0;
  bool has_adaptation = false;
  int adaptation_length = -1;  // the length byte, when present
  bool pcr = false;
  uint64_t pcr_base = 0;
  std::vector<uint8_t> payload;
};

// Parses `data` as 188-byte packets; `error` says what is wrong with the first bad one.
inline std::vector<TsPacket> ParseTs(const std::vector<uint8_t>& data, std::string* error) {
  std::vector<TsPacket> packets;
  if (data.size() % 188 != 0) *error = "size not a multiple of 188";
  for (size_t at = 0; at + 188 <= data.size(); at += 188) {
    const uint8_t* p = data.data() + at;
    if (p[0] != 0x47) {
      *error = "no sync byte at " + std::to_string(at);
      return packets;
    }
    TsPacket packet;
    packet.unit_start = (p[1] & 0x40) != 0;
    packet.pid = static_cast<uint16_t>(((p[1] & 0x1F) << 8) | p[2]);
    packet.continuity = p[3] & 0x0F;
    const int control = (p[3] >> 4) & 3;
    size_t offset = 4;
    if (control == 2 || control == 3) {
      packet.has_adaptation = true;
      packet.adaptation_length = p[4];
      if (p[4] > 0 && (p[5] & 0x10)) {
        packet.pcr = true;
        packet.pcr_base = (uint64_t{p[6]} << 25) | (uint64_t{p[7]} << 17) | (uint64_t{p[8]} << 9) |
                          (uint64_t{p[9]} << 1) | (p[10] >> 7);
      }
      offset = 5 + p[4];
    }
    if (offset > 188) {
      *error = "adaptation field too long at " + std::to_string(at);
      return packets;
    }
    if (control & 1) packet.payload.assign(p + offset, p + 188);
    packets.push_back(std::move(packet));
  }
  return packets;
}

struct Pes {
  uint16_t pid = 0;
  uint8_t stream_id = 0;
  int declared_length = 0;  // PES_packet_length
  uint64_t pts = 0;
  bool pcr_in_first_packet = false;
  std::vector<uint8_t> payload;
};

inline uint64_t ParsePts(const uint8_t* p) {
  return (uint64_t{static_cast<uint8_t>(p[0] >> 1) & 7u} << 30) | (uint64_t{p[1]} << 22) |
         (uint64_t{static_cast<uint8_t>(p[2] >> 1)} << 15) | (uint64_t{p[3]} << 7) | (p[4] >> 1);
}

// Collects the PES packets of the elementary-stream PIDs, checking continuity counters
// per PID. `error` says what is wrong.
inline std::vector<Pes> CollectPes(const std::vector<TsPacket>& packets, std::string* error) {
  std::vector<Pes> out;
  std::map<uint16_t, size_t> open;  // pid -> index in out
  std::map<uint16_t, int> last_counter;
  for (const TsPacket& packet : packets) {
    if (packet.pid != 0x0100 && packet.pid != 0x0101) continue;
    auto last = last_counter.find(packet.pid);
    if (last != last_counter.end() && packet.continuity != ((last->second + 1) & 0x0F)) {
      *error = "continuity counter jumps on PID " + std::to_string(packet.pid);
    }
    last_counter[packet.pid] = packet.continuity;
    if (packet.unit_start) {
      const std::vector<uint8_t>& p = packet.payload;
      if (p.size() < 14 || p[0] != 0 || p[1] != 0 || p[2] != 1) {
        *error = "bad PES header";
        continue;
      }
      Pes pes;
      pes.pid = packet.pid;
      pes.stream_id = p[3];
      pes.declared_length = (p[4] << 8) | p[5];
      pes.pts = ParsePts(p.data() + 9);
      pes.pcr_in_first_packet = packet.pcr;
      pes.payload.assign(p.begin() + 14, p.end());
      open[packet.pid] = out.size();
      out.push_back(std::move(pes));
    } else {
      auto it = open.find(packet.pid);
      if (it == open.end()) {
        *error = "payload before the first PES start";
        continue;
      }
      Pes& pes = out[it->second];
      pes.payload.insert(pes.payload.end(), packet.payload.begin(), packet.payload.end());
    }
  }
  return out;
}

}  // namespace selvo::testing
