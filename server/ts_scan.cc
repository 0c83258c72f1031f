#include "server/ts_scan.h"

#include <map>
#include <string>

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

// Microseconds of sound in ADTS-framed AAC: 1024 samples per raw data block of every
// frame, at the frame's sampling rate. Stops at the first byte that is not a frame.
int64_t AdtsDurationUs(const std::string& data) {
  static constexpr int kRates[16] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050,
                                     16000, 12000, 11025, 8000,  7350,  0,     0,     0};
  int64_t us = 0;
  size_t at = 0;
  while (at + 7 <= data.size()) {
    const auto* h = reinterpret_cast<const unsigned char*>(data.data() + at);
    if (h[0] != 0xFF || (h[1] & 0xF6) != 0xF0) break;
    const int rate = kRates[(h[2] >> 2) & 0x0F];
    const size_t length = (size_t{h[3] & 0x03u} << 11) | (size_t{h[4]} << 3) | (h[5] >> 5);
    if (rate == 0 || length < 7) break;
    us += int64_t{1024} * ((h[6] & 0x03) + 1) * 1'000'000 / rate;
    at += length;
  }
  return us;
}

}  // namespace

int64_t PieceScan::EstimatedDurationUs(int64_t fallback_us) const {
  // Too few timed PES for a span: the sound the piece carries says how long it lasts
  // (the audio that trails a recording's last picture, in a piece of its own).
  // No PES at all: the tables alone (a last piece whose media had all gone out in the
  // pieces before it) play for no time.
  if (pes_count == 0 && audio_us == 0) return 0;
  if (pes_count < 2) return audio_us > 0 ? audio_us : fallback_us;
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
  std::string audio;   // the ADTS bytes of the piece's audio PES, in order
  int audio_pid = -1;  // the PID whose audio PES is being collected
  for (size_t offset = 0; offset < data.size(); offset += kTsPacketSize) {
    const auto* packet = reinterpret_cast<const unsigned char*>(data.data() + offset);
    if (packet[0] != 0x47) {
      scan.error =
          "transport-stream packet at byte " + std::to_string(offset) + " lacks the sync byte";
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
    if (is_table || !has_payload) continue;
    if (!unit_start) {
      if (pid == audio_pid) audio.append(data.substr(offset + payload, kTsPacketSize - payload));
      continue;
    }
    if (pid == audio_pid) audio_pid = -1;  // its PES ended; a new one may follow below
    if (payload + 14 > kTsPacketSize) continue;
    const unsigned char* pes = packet + payload;
    if (pes[0] != 0 || pes[1] != 0 || pes[2] != 1) continue;
    if ((pes[3] & 0xE0) == 0xC0 && payload + 9 + pes[8] <= kTsPacketSize) {
      // An audio PES: its payload follows the PES header, here and in the packets after.
      audio_pid = pid;
      audio.append(
          data.substr(offset + payload + 9 + pes[8], kTsPacketSize - payload - 9 - pes[8]));
    }
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
  scan.audio_us = AdtsDurationUs(audio);
  scan.valid = true;
  return scan;
}

}  // namespace server
