// MediaSegmenter::MakeAudioPES: raw AAC frames in, runs of ADTS frames out, one PES each.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "engine/aac_frame_parser.h"
#include "engine/media_segmenter.h"

namespace selvo {

namespace {

constexpr uint64_t kInterleaveWindowUs = 100000;
// A run is written once its ADTS bytes exceed this.
constexpr size_t kMaxRunBytes = 32768;
// The largest AAC LC frame of one channel (6144 bits).
constexpr size_t kMaxMonoFrameBytes = 768;
// ADTS frame_length has 13 bits and counts the 7-byte header.
constexpr size_t kMaxAdtsPayload = 8191 - 7;
// Damage is skipped up to a position from which two frames walk cleanly; while the file
// grows, a candidate needs this much data after it to be judged.
constexpr size_t kResyncLookahead = 2048;
// A single channel element with no bands, then END: one frame of silence.
constexpr uint8_t kSilenceBytes[4] = {0x00, 0x4C, 0x40, 0x07};
constexpr size_t kNotFound = SIZE_MAX;

bool IsMoov(const uint8_t* at) { return std::memcmp(at, "moov", 4) == 0; }

void PutAdtsHeader(uint8_t* h, int sampling_index, int channels, size_t frame_length) {
  const size_t length = frame_length + 7;
  h[0] = 0xFF;
  h[1] = 0xF1;  // MPEG-4, layer 0, no CRC
  h[2] = static_cast<uint8_t>(0x40 | (sampling_index << 2) | ((channels >> 2) & 1));  // AAC LC
  h[3] = static_cast<uint8_t>(((channels & 3) << 6) | ((length >> 11) & 3));
  h[4] = static_cast<uint8_t>(length >> 3);
  h[5] = static_cast<uint8_t>(((length & 7) << 5) | 0x1F);
  h[6] = 0xFC;  // buffer fullness 0x7FF, one raw data block
}

// The length of the frame at `data` when the `size` bytes written so far of a growing file
// certainly hold all of it, else 0 (wait for more). Bits past the data read as zeros and
// zeros never form the END element, so a walk that returns a length read only real bytes:
// the same walk over more data gives the same length. The one exception is the rule that
// a frame followed only by zero bytes extends over them: a length that ends in a zero
// byte took zeros that later bytes may show to be the next frame's start. A walk that
// fails may have failed for want of data; it is judged again once enough data is there.
int WholeFrameLength(const uint8_t* data, size_t size, int sampling_index) {
  const int length = AacFrameLength(data, std::min(size, kMaxAdtsPayload), sampling_index,
                                    /*report=*/false);
  if (length <= 0) return 0;
  if (data[length - 1] == 0) return 0;
  return length;
}

}  // namespace

AudioRunState::AudioRunState() {
  frames.reserve(256);
  headers.reserve(256 * 7);
  spans.reserve(512);
}

void MediaSegmenter::AppendFrame(AudioRunState& run, size_t offset, size_t size,
                                 uint64_t& audio_time) {
  const size_t at = run.headers.size();
  run.headers.resize(at + 7);
  PutAdtsHeader(run.headers.data() + at, audio_sampling_index_, audio_channels_, size);
  run.frames.push_back({offset, size});
  run.adts_bytes += 7 + size;
  audio_time += audio_frame_duration_;
}

// Frames walk cleanly again from `d` when two frames in a row walk and each carries sound
// (random bytes easily form frames of a lone END element, which the encoder never writes).
size_t MediaSegmenter::FindResyncPoint(const uint8_t* data, size_t size, size_t limit) const {
  auto sound_frame = [&](size_t at) -> size_t {
    int elements = 0;
    const int length = AacFrameLength(data + at, std::min(size - at, kMaxAdtsPayload),
                                      audio_sampling_index_, false, &elements);
    return length > 0 && elements > 0 ? static_cast<size_t>(length) : 0;
  };
  for (size_t d = 0; d < limit; ++d) {
    const size_t first = sound_frame(d);
    if (first == 0) continue;
    const size_t next = d + first;
    if (next == size) return d;  // the last frame of finished data
    if (next > size) continue;
    const size_t second = sound_frame(next);
    if (second > 0 && next + second <= size) return d;
  }
  return kNotFound;
}

void MediaSegmenter::FlushAudioRun(BufferWriter& ts, MediaPacket& packet,
                                   ContinuityCounter& counter, AudioRunState& run) {
  if (!run.open) return;
  if (!run.frames.empty()) {
    run.spans.clear();
    const uint8_t* base = packet.unread_data();
    for (size_t i = 0; i < run.frames.size(); ++i) {
      const AudioRunState::Frame& frame = run.frames[i];
      run.spans.push_back({run.headers.data() + 7 * i, 7});
      run.spans.push_back(
          {frame.offset == AudioRunState::kSilentFrame ? kSilenceBytes : base + frame.offset,
           frame.size});
    }
    (this->*audio_pes_writer_)(ts, run.spans.data(), run.spans.size(), counter.audio_counter,
                               run.start_time);
  }
  packet.position += run.bytes;
  run.written_bytes += run.bytes;
  run.open = false;
  run.bytes = 0;
  run.adts_bytes = 0;
  run.frames.clear();
  run.headers.clear();
}

int MediaSegmenter::MakeAudioPES(BufferWriter& ts, MediaPacket& packet, ContinuityCounter& counter,
                                 PacketDataState& end, AudioRunState& run) {
  if (!run.open) {
    run.open = true;
    run.start_time = counter.audio_time;
  }
  // With this many unread bytes a whole frame is certainly there (half a frame's PCM size,
  // and at least the largest possible frame), so whatever the walk finds stands. With
  // fewer, in a file that still grows, a frame is taken only once its walk ends inside
  // the data: see WholeFrameLength.
  const size_t guard = std::max<size_t>(audio_bytes_per_frame_ / 2, kMaxMonoFrameBytes);
  const uint64_t silence_run_limit = 64;
  int result;
  bool flush = false;
  for (;;) {
    if (end.end) {
      result = kPacketData;
      break;
    }
    const uint8_t* at = packet.unread_data() + run.bytes;
    const size_t unread = packet.unread() - run.bytes;
    const bool final = packet.AtEnd();
    if (unread >= 8 && IsMoov(at + 4)) {
      end.end = 1;
      result = kPacketData;
      break;
    }
    if (unread == 0 || (!final && unread < 8)) {
      result = kPacketNeedData;
      break;
    }
    const bool sure = final || unread >= guard;
    if (!sure && run.resyncing) {
      result = kPacketNeedData;
      break;
    }

    if (run.resyncing) {
      const size_t limit =
          final ? unread : (unread > kResyncLookahead ? unread - kResyncLookahead : 0);
      const size_t found = FindResyncPoint(at, unread, limit);
      const size_t skipped = found == kNotFound ? limit : found;
      run.bytes += skipped;
      run.damaged_bytes += skipped;
      if (found == kNotFound && !final) {
        // Wait for more data; what was collected so far goes out now, so that damage can
        // never fill the read buffer.
        result = kPacketNeedData;
        flush = true;
        break;
      }
      // Frames walk again (or the data ended): one silent frame went out for the damaged
      // frame already; add one for every further frame's worth of bytes skipped.
      run.resyncing = false;
      const uint64_t average = run.walked_frames > 0
                                   ? std::max<uint64_t>(1, run.walked_bytes / run.walked_frames)
                                   : run.damaged_bytes;
      uint64_t lost = (run.damaged_bytes + average / 2) / std::max<uint64_t>(average, 1);
      lost = std::min(lost, silence_run_limit);
      for (uint64_t i = 1; i < lost; ++i) {
        AppendFrame(run, AudioRunState::kSilentFrame, sizeof(kSilenceBytes), counter.audio_time);
      }
      std::printf("aac: skipped %llu damaged bytes\n",
                  static_cast<unsigned long long>(run.damaged_bytes));
      std::fflush(stdout);
      run.damaged_bytes = 0;
    } else {
      const int length =
          sure ? AacFrameLength(at, std::min(unread, kMaxAdtsPayload), audio_sampling_index_)
               : WholeFrameLength(at, unread, audio_sampling_index_);
      if (length == 0) {
        result = kPacketNeedData;
        break;
      }
      if (length > 0) {
        AppendFrame(run, run.bytes, static_cast<size_t>(length), counter.audio_time);
        run.bytes += static_cast<size_t>(length);
        run.walked_bytes += static_cast<uint64_t>(length);
        ++run.walked_frames;
      } else {
        // The frame does not walk: silence in its place, then skip to where frames walk
        // cleanly again.
        AppendFrame(run, AudioRunState::kSilentFrame, sizeof(kSilenceBytes), counter.audio_time);
        run.resyncing = true;
        run.bytes += 1;
        run.damaged_bytes = 1;
      }
    }

    if (counter.audio_time + audio_frame_duration_ >= counter.video_time + kInterleaveWindowUs ||
        run.adts_bytes > kMaxRunBytes) {
      result = kPacketData;
      break;
    }
  }

  if (result == kPacketNeedData && !flush && !end.end) return kPacketNeedData;  // run stays open
  FlushAudioRun(ts, packet, counter, run);
  if (end.end) return kPacketConsumed;
  if (result == kPacketData && packet.unread() == 0) return kPacketConsumed;
  return result;
}

}  // namespace selvo
