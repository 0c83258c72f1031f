#include "server/ts_scan.h"

#include <map>

namespace server {
namespace {

constexpr int kPatPid = 0x0000;
constexpr int kSdtPid = 0x0011;
constexpr int64_t kPtsModulus = int64_t{1} << 33;

struct PidTimes {
  int64_t first = -1;
  int64_t last = -1;
  int count = 0;
};

int64_t ReadPts(const unsigned char* p) {
  return (static_cast<int64_t>(p[0] & 0x0E) << 29) | (static_cast<int64_t>(p[1]) << 22) |
         (static_cast<int64_t>(p[2] & 0xFE) << 14) | (static_cast<int64_t>(p[3]) << 7) |
         (static_cast<int64_t>(p[4]) >> 1);
}

}  // namespace

int64_t PieceScan::EstimatedDurationUs(int64_t fallback_us) const {
  if (pes_count < 2) return fallback_us;
  int64_t span = (last_pts - first_pts + kPtsModulus) % kPtsModulus;
  int64_t with_last = span + span / (pes_count - 1);
  int64_t us = with_last * 1000 / 90;
  // A span beyond a minute is a timestamp jump, not a piece.
  if (us <= 0 || us > 60'000'000) return fallback_us;
  return us;
}

PieceScan ScanPiece(std::string_view data) {
  PieceScan scan;
  if (data.empty() || data.size() % kTsPacketSize != 0) {
    scan.error = "a piece must be a whole number of 188-byte transport-stream packets";
    return scan;
  }
  int pmt_pid = -1;
  bool leading = true;
  std::map<int, PidTimes> times;
  for (size_t offset = 0; offset < data.size(); offset += kTsPacketSize) {
    const auto* packet = reinterpret_cast<const unsigned char*>(data.data() + offset);
    if (packet[0] != 0x47) {
      scan.error = "transport-stream packet at byte " + std::to_string(offset) +
                   " lacks the sync byte";
      return scan;
    }
    bool unit_start = packet[1] & 0x40;
    int pid = ((packet[1] & 0x1F) << 8) | packet[2];
    int adaptation = (packet[3] >> 4) & 3;
    size_t payload = 4;
    if (adaptation == 2 || adaptation == 3) payload += 1 + packet[4];
    bool has_payload = (adaptation == 1 || adaptation == 3) && payload < kTsPacketSize;

    if (pid == kPatPid && unit_start && has_payload) {
      // pointer_field, then the PAT section; the first program's PMT PID.
      size_t section = payload + 1 + packet[payload];
      if (section + 12 <= kTsPacketSize && packet[section] == 0x00) {
        pmt_pid = ((packet[section + 10] & 0x1F) << 8) | packet[section + 11];
      }
    }
    bool is_table = pid == kPatPid || pid == kSdtPid || pid == pmt_pid;
    if (leading && is_table) {
      scan.tables.append(data.substr(offset, kTsPacketSize));
    } else {
      leading = false;
    }
    if (is_table || !unit_start || !has_payload || payload + 14 > kTsPacketSize) continue;
    const unsigned char* pes = packet + payload;
    if (pes[0] != 0 || pes[1] != 0 || pes[2] != 1) continue;
    bool has_pts = (pes[7] & 0x80) != 0;
    if (!has_pts) continue;
    PidTimes& t = times[pid];
    int64_t pts = ReadPts(pes + 9);
    if (t.count == 0) t.first = pts;
    t.last = pts;
    ++t.count;
  }
  // Keep the tables only when they hold both a PAT and its PMT.
  if (pmt_pid < 0 || scan.tables.size() < 2 * kTsPacketSize) scan.tables.clear();
  // Video (0x0100 in this system's pieces) times the piece when present.
  const PidTimes* chosen = nullptr;
  if (auto video = times.find(0x0100); video != times.end()) {
    chosen = &video->second;
  } else {
    for (const auto& [pid, t] : times) {
      if (!chosen || t.count > chosen->count) chosen = &t;
    }
  }
  if (chosen) {
    scan.first_pts = chosen->first;
    scan.last_pts = chosen->last;
    scan.pes_count = chosen->count;
  }
  scan.valid = true;
  return scan;
}

}  // namespace server
