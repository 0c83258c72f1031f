// MPEG-2 transport-stream packetisation: wraps one elementary-stream unit (an H.264 access
// unit or a run of ADTS frames) into a PES packet and splits it over 188-byte TS packets.
//
// Times are in microseconds; PTS and PCR are written in 90 kHz units (time * 90 / 1000,
// modulo 2^33 by the field width). No DTS is written: the streams have no reordering.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/buffer_writer.h"

namespace selvo {

inline constexpr size_t kTsPacketSize = 188;
inline constexpr uint16_t kVideoPid = 0x0100;
inline constexpr uint16_t kAudioPid = 0x0101;
inline constexpr uint16_t kPmtPid = 0x1000;
inline constexpr uint8_t kVideoStreamId = 0xE0;
inline constexpr uint8_t kAudioStreamId = 0xC0;
inline constexpr size_t kPesHeaderSize = 14;

// One part of a payload that is written as if contiguous.
struct ByteSpan {
  const uint8_t* data;
  size_t size;
};

// The CRC_32 of MPEG-2 sections: polynomial 0x04C11DB7, initial value 0xFFFFFFFF, no
// reflection, no final inversion.
uint32_t Crc32Mpeg(const uint8_t* data, size_t size);

// The 14-byte PES header: start code, stream_id, PES_packet_length (payload + 8, or 0 when
// that exceeds 16 bits), flags with PTS only, and the PTS of `time_us`.
void WritePESPacketStartData(BufferWriter& writer, uint8_t stream_id, size_t payload_length,
                             uint64_t time_us);

// An adaptation field: its length byte, flags (PCR or nothing), the PCR of `time_us` when
// `pcr` is set, then `stuffing` bytes of 0xFF.
void WritePESPacketAdaptation(BufferWriter& writer, bool pcr, uint64_t time_us, size_t stuffing);

// Appends the CRC of the `count` section bytes at `section` (which the caller has already
// appended) and fills the TS packet with 0xFF; a section here is always below 179 bytes.
void WriteCRCWithStuffing(BufferWriter& writer, const uint8_t* section, size_t count);

// One PES packet with the payload `spans` (total length L) on `pid`. Nothing is written
// when L is 0. `continuity_counter` is incremented once per TS packet; its low 4 bits go
// into each packet.
void WritePESPacketImpl(BufferWriter& writer, uint16_t pid, uint8_t stream_id,
                        const ByteSpan* spans, size_t span_count, uint32_t& continuity_counter,
                        uint64_t time_us);
// As WritePESPacketImpl, but the first TS packet carries a PCR of `time_us` in its
// adaptation field: the first packet of a segment's first PES.
void Write1stPESPacketImpl(BufferWriter& writer, uint16_t pid, uint8_t stream_id,
                           const ByteSpan* spans, size_t span_count, uint32_t& continuity_counter,
                           uint64_t time_us);

inline void WritePESPacketImpl(BufferWriter& writer, uint16_t pid, uint8_t stream_id,
                               const uint8_t* data, size_t length, uint32_t& continuity_counter,
                               uint64_t time_us) {
  const ByteSpan span{data, length};
  WritePESPacketImpl(writer, pid, stream_id, &span, 1, continuity_counter, time_us);
}
inline void Write1stPESPacketImpl(BufferWriter& writer, uint16_t pid, uint8_t stream_id,
                                  const uint8_t* data, size_t length, uint32_t& continuity_counter,
                                  uint64_t time_us) {
  const ByteSpan span{data, length};
  Write1stPESPacketImpl(writer, pid, stream_id, &span, 1, continuity_counter, time_us);
}

}  // namespace selvo
