#include "engine/ts_packetizer.h"

#include <array>
#include <cstring>

namespace selvo {

namespace {

constexpr size_t kTsPayloadSize = 184;
// Payload room of a segment's first packet: 184 minus the PCR adaptation field (8) and
// the PES header.
constexpr size_t kFirstPcrRoom = kTsPayloadSize - 8 - kPesHeaderSize;

constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t crc = i << 24;
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    table[i] = crc;
  }
  return table;
}
constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

uint64_t Ticks90k(uint64_t time_us) { return (time_us * 90 / 1000) & ((uint64_t{1} << 33) - 1); }

uint8_t* PutPesHeader(uint8_t* p, uint8_t stream_id, size_t payload_length, uint64_t time_us) {
  const size_t length = payload_length + 8;
  const size_t field = length > 0xFFFF ? 0 : length;
  const uint64_t pts = Ticks90k(time_us);
  p[0] = 0x00;
  p[1] = 0x00;
  p[2] = 0x01;
  p[3] = stream_id;
  p[4] = static_cast<uint8_t>(field >> 8);
  p[5] = static_cast<uint8_t>(field);
  p[6] = 0x80;
  p[7] = 0x80;  // PTS only
  p[8] = 0x05;
  p[9] = static_cast<uint8_t>(0x21 | ((pts >> 29) & 0x0E));
  p[10] = static_cast<uint8_t>(pts >> 22);
  p[11] = static_cast<uint8_t>(((pts >> 14) & 0xFE) | 1);
  p[12] = static_cast<uint8_t>(pts >> 7);
  p[13] = static_cast<uint8_t>(((pts << 1) & 0xFE) | 1);
  return p + kPesHeaderSize;
}

uint8_t* PutAdaptation(uint8_t* p, bool pcr, uint64_t time_us, size_t stuffing) {
  *p++ = static_cast<uint8_t>(stuffing + (pcr ? 7 : 1));
  *p++ = pcr ? 0x10 : 0x00;
  if (pcr) {
    const uint64_t base = Ticks90k(time_us);
    *p++ = static_cast<uint8_t>(base >> 25);
    *p++ = static_cast<uint8_t>(base >> 17);
    *p++ = static_cast<uint8_t>(base >> 9);
    *p++ = static_cast<uint8_t>(base >> 1);
    *p++ = static_cast<uint8_t>(((base & 1) << 7) | 0x7E);
    *p++ = 0x00;
  }
  std::memset(p, 0xFF, stuffing);
  return p + stuffing;
}

// Copies from a list of spans as from one buffer.
class SpanReader {
 public:
  explicit SpanReader(const ByteSpan* spans) : span_(spans) {}
  uint8_t* CopyTo(uint8_t* out, size_t count) {
    while (count > 0) {
      const size_t left = span_->size - offset_;
      if (left == 0) {
        ++span_;
        offset_ = 0;
        continue;
      }
      const size_t n = left < count ? left : count;
      std::memcpy(out, span_->data + offset_, n);
      out += n;
      offset_ += n;
      count -= n;
    }
    return out;
  }

 private:
  const ByteSpan* span_;
  size_t offset_ = 0;
};

void WritePes(BufferWriter& writer, uint16_t pid, uint8_t stream_id, const ByteSpan* spans,
              size_t span_count, uint32_t& continuity_counter, uint64_t time_us, bool pcr_first) {
  size_t remaining = 0;
  for (size_t i = 0; i < span_count; ++i) remaining += spans[i].size;
  if (remaining == 0) return;
  const size_t total = remaining;

  // Room for every packet up front: at most one more than the payload needs at full size,
  // plus the one that a remainder of room - 1 bytes spills into.
  const size_t packets = (remaining + kPesHeaderSize + 8) / kTsPayloadSize + 2;
  writer.Reserve(packets * kTsPacketSize);

  SpanReader source(spans);
  bool first = true;
  while (remaining > 0) {
    uint8_t* p = writer.Extend(kTsPacketSize);
    p[0] = 0x47;
    p[1] = static_cast<uint8_t>((first ? 0x40 : 0x00) | ((pid >> 8) & 0x1F));
    p[2] = static_cast<uint8_t>(pid);
    const uint8_t counter = static_cast<uint8_t>(continuity_counter & 0x0F);
    ++continuity_counter;
    uint8_t* out = p + 4;
    size_t take;
    if (first && pcr_first) {
      const size_t stuffing = remaining < kFirstPcrRoom ? kFirstPcrRoom - remaining : 0;
      p[3] = 0x30 | counter;
      out = PutAdaptation(out, true, time_us, stuffing);
      take = remaining < kFirstPcrRoom ? remaining : kFirstPcrRoom;
    } else {
      const size_t room = first ? kTsPayloadSize - kPesHeaderSize : kTsPayloadSize;
      if (remaining >= room) {
        p[3] = 0x10 | counter;
        take = room;
      } else {
        // A short last packet: stuffing in an adaptation field. Its two bytes (length and
        // flags) leave room - 2 bytes, so a remainder of room - 1 spills one byte over.
        const size_t usable = room - 2;
        const size_t stuffing = usable >= remaining ? usable - remaining : 0;
        p[3] = 0x30 | counter;
        out = PutAdaptation(out, false, 0, stuffing);
        take = remaining < usable ? remaining : usable;
      }
    }
    if (first) out = PutPesHeader(out, stream_id, total, time_us);
    source.CopyTo(out, take);
    remaining -= take;
    first = false;
  }
}

}  // namespace

uint32_t Crc32Mpeg(const uint8_t* data, size_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) crc = (crc << 8) ^ kCrcTable[((crc >> 24) ^ data[i]) & 0xFF];
  return crc;
}

void WritePESPacketStartData(BufferWriter& writer, uint8_t stream_id, size_t payload_length,
                             uint64_t time_us) {
  PutPesHeader(writer.Extend(kPesHeaderSize), stream_id, payload_length, time_us);
}

void WritePESPacketAdaptation(BufferWriter& writer, bool pcr, uint64_t time_us, size_t stuffing) {
  PutAdaptation(writer.Extend((pcr ? 8 : 2) + stuffing), pcr, time_us, stuffing);
}

void WriteCRCWithStuffing(BufferWriter& writer, const uint8_t* section, size_t count) {
  const uint32_t crc = Crc32Mpeg(section, count);
  const uint8_t bytes[4] = {static_cast<uint8_t>(crc >> 24), static_cast<uint8_t>(crc >> 16),
                            static_cast<uint8_t>(crc >> 8), static_cast<uint8_t>(crc)};
  writer.Append(bytes, 4);
  writer.AppendFill(0xFF, 179 - count);
}

void WritePESPacketImpl(BufferWriter& writer, uint16_t pid, uint8_t stream_id,
                        const ByteSpan* spans, size_t span_count, uint32_t& continuity_counter,
                        uint64_t time_us) {
  WritePes(writer, pid, stream_id, spans, span_count, continuity_counter, time_us, false);
}

void Write1stPESPacketImpl(BufferWriter& writer, uint16_t pid, uint8_t stream_id,
                           const ByteSpan* spans, size_t span_count, uint32_t& continuity_counter,
                           uint64_t time_us) {
  WritePes(writer, pid, stream_id, spans, span_count, continuity_counter, time_us, true);
}

}  // namespace selvo
