// MediaSegmenter::MakeVideoPESAvc: length-prefixed H.264 NAL units in, Annex B access
// units with delimiters and parameter sets out, one PES each.
#include <cstring>

#include "engine/media_segmenter.h"

namespace selvo {

namespace {

constexpr uint8_t kStartCode[4] = {0, 0, 0, 1};
constexpr uint8_t kAccessUnitDelimiter[6] = {0, 0, 0, 1, 0x09, 0xF0};
constexpr uint64_t kInterleaveWindowUs = 100000;
// An access unit larger than this is not H.264 that anyone recorded: the stream is damaged
// or not length-prefixed NAL units at all.
constexpr size_t kMaxAccessUnitBytes = 32u << 20;

constexpr int kNalSps = 7;
constexpr int kNalPps = 8;
constexpr int kNalIdr = 5;

bool IsMoov(const uint8_t* at) { return std::memcmp(at, "moov", 4) == 0; }

uint32_t ReadBe32(const uint8_t* at) {
  return (uint32_t{at[0]} << 24) | (uint32_t{at[1]} << 16) | (uint32_t{at[2]} << 8) | at[3];
}

}  // namespace

void AccessUnitState::Clear() {
  buffer.Clear();
  parts_.clear();
  size_ = 0;
}

void AccessUnitState::AppendCopy(const uint8_t* data, size_t size) {
  if (size == 0) return;
  const size_t offset = buffer.size();
  buffer.Append(data, size);
  if (!parts_.empty() && !parts_.back().data &&
      parts_.back().offset + parts_.back().size == offset) {
    parts_.back().size += size;
  } else {
    parts_.push_back({nullptr, offset, size});
  }
  size_ += size;
}

void AccessUnitState::AppendReference(const uint8_t* data, size_t size) {
  if (size == 0) return;
  parts_.push_back({data, 0, size});
  size_ += size;
}

void AccessUnitState::Keep() {
  for (Part& part : parts_) {
    if (!part.data) continue;
    const size_t offset = buffer.size();
    buffer.Append(part.data, part.size);
    part = {nullptr, offset, part.size};
  }
}

const std::vector<ByteSpan>& AccessUnitState::Spans() {
  spans_.clear();
  for (const Part& part : parts_) {
    spans_.push_back({part.data ? part.data : buffer.data() + part.offset, part.size});
  }
  return spans_;
}

// NAL unit `nal` (`size` bytes) is complete: remember parameter sets, and write the access
// unit when this slice completes it.
void MediaSegmenter::FinishNal(BufferWriter& ts, ContinuityCounter& counter, AccessUnitState& unit,
                               const uint8_t* nal, size_t size) {
  const int type = unit.nal_type;
  if (type == kNalSps || type == kNalPps) {
    std::vector<uint8_t>& stored = type == kNalSps ? sps_ : pps_;
    stored.resize(sizeof(kStartCode) + size);
    std::memcpy(stored.data(), kStartCode, sizeof(kStartCode));
    std::memcpy(stored.data() + sizeof(kStartCode), nal, size);
  }
  if (type < 1 || type > 5) return;
  if (nal_counter_ < nal_per_frame_) {
    ++nal_counter_;
    return;
  }
  nal_counter_ = 1;
  const std::vector<ByteSpan>& spans = unit.Spans();
  (this->*video_pes_writer_)(ts, spans.data(), spans.size(), counter);
  counter.video_time += video_frame_duration_;
  unit.Clear();
  unit.AppendCopy(kAccessUnitDelimiter, sizeof(kAccessUnitDelimiter));
  unit.written_bytes += unit.pending_bytes;
  unit.pending_bytes = 0;
}

int MediaSegmenter::MakeVideoPESAvc(BufferWriter& ts, MediaPacket& packet,
                                    ContinuityCounter& counter, PacketDataState& end,
                                    AccessUnitState& unit) {
  if (end.end) return kPacketConsumed;
  int result = kPacketData;
  for (;;) {
    const uint8_t* at = packet.unread_data();
    const size_t unread = packet.unread();

    if (unit.nal_remaining > 0) {
      // Copy what has arrived of a NAL unit that did not arrive whole.
      const size_t take = unread < unit.nal_remaining ? unread : unit.nal_remaining;
      unit.AppendCopy(at, take);
      packet.position += take;
      unit.pending_bytes += take;
      unit.nal_remaining -= static_cast<uint32_t>(take);
      if (unit.nal_remaining > 0) {
        result = kPacketNeedData;
        break;
      }
      FinishNal(ts, counter, unit, unit.buffer.data() + unit.nal_start,
                unit.buffer.size() - unit.nal_start);
      if (counter.video_time + video_frame_duration_ >= counter.audio_time + kInterleaveWindowUs) {
        break;
      }
      continue;
    }

    // At a NAL unit boundary: a 4-byte length, or the index box after the media data.
    // A short tail waits for more data, unless it is all there is or its first bytes
    // already rule out 'moov' (then the NAL unit's bytes can be taken as they come).
    if (unread >= 8 && IsMoov(at + 4)) {
      end.end = 1;
      break;
    }
    if (unread < 5 ||
        (unread < 8 && !packet.AtEnd() && std::memcmp(at + 4, "moov", unread - 4) == 0)) {
      result = kPacketNeedData;
      break;
    }
    const uint32_t length = ReadBe32(at);
    packet.position += 4;
    unit.pending_bytes += 4;
    if (length == 0) continue;  // an empty NAL unit carries nothing
    if (unit.size() + length > kMaxAccessUnitBytes) return kPacketFull;

    const int type = at[4] & 0x1F;
    if (type == kNalIdr && nal_counter_ == 1) {
      // An IDR picture gets the parameter sets in front of it unless they came just before.
      const int last = unit.nal_history & 0xFF;
      const int before = unit.nal_history >> 8;
      if (last != kNalSps && before != kNalSps) unit.AppendCopy(sps_.data(), sps_.size());
      if (last != kNalPps && before != kNalPps) unit.AppendCopy(pps_.data(), pps_.size());
    }
    unit.nal_history = static_cast<uint16_t>((unit.nal_history << 8) | type);
    unit.AppendCopy(kStartCode, sizeof(kStartCode));
    unit.nal_type = static_cast<uint8_t>(type);
    if (length <= unread - 4) {
      // Whole in the read buffer: referenced, copied only into the TS packets.
      unit.AppendReference(at + 4, length);
      packet.position += length;
      unit.pending_bytes += length;
      FinishNal(ts, counter, unit, at + 4, length);
      if (counter.video_time + video_frame_duration_ >= counter.audio_time + kInterleaveWindowUs) {
        break;
      }
      continue;
    }
    // Arriving in parts: copied as it comes, contiguous at the end of the unit's buffer.
    unit.Keep();
    unit.nal_start = unit.buffer.size();
    unit.nal_remaining = length;
  }
  int state = result == kPacketData && packet.unread() == 0 ? kPacketConsumed : result;
  if (end.end) state = kPacketConsumed;
  // The read buffer may change before the next call: what the unit references goes into its
  // own buffer. A mapped file stays where it is.
  if (state != kPacketData && !packet.mapped()) unit.Keep();
  return state;
}

}  // namespace selvo
