// Fuzzes the packet makers: arbitrary bytes in place of NAL units and AAC frames, arriving
// in arbitrary pieces, as from a damaged growing recording.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/media_segmenter.h"
#include "engine/testing/box_builder.h"
#include "engine/testing/synthetic_recordings.h"

namespace {

selvo::MediaSegmenter& Segmenter(int slices) {
  static selvo::MediaSegmenter* segmenters[2] = {nullptr, nullptr};
  selvo::MediaSegmenter*& segmenter = segmenters[slices - 1];
  if (!segmenter) {
    // Damaged frames are reported on standard output; millions of them say nothing new.
    if (!std::freopen("/dev/null", "w", stdout)) std::abort();
    char pattern[] = "/tmp/selvo-fuzz-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    const std::string video = std::string(pattern) + "/video.mov";
    const std::string audio = std::string(pattern) + "/audio.mov";
    for (const auto& [path, bytes] :
         {std::pair{video, selvo::testing::AvcSampleFile(selvo::testing::TestSps(),
                                                         selvo::testing::TestPps(), slices)},
          std::pair{audio, selvo::testing::AacSampleFile()}}) {
      FILE* file = std::fopen(path.c_str(), "wb");
      if (!file) std::abort();
      std::fwrite(bytes.data(), 1, bytes.size(), file);
      std::fclose(file);
    }
    segmenter = new selvo::MediaSegmenter();
    bool is_amr = true;
    if (segmenter->InitMediaParameters(10, video.c_str(), audio.c_str(), &is_amr) != 1) {
      std::abort();
    }
  }
  return *segmenter;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const bool audio = data[0] & 1;
  const int slices = 1 + ((data[0] >> 1) & 1);
  const size_t chunk = 1 + data[1] * 16u + data[2];
  data += 3;
  size -= 3;
  selvo::MediaSegmenter& segmenter = Segmenter(slices);
  selvo::BufferWriter ts;
  selvo::ContinuityCounter counter;
  counter.video_time = audio ? 1000000000 : 0;
  counter.audio_time = audio ? 0 : 1000000000;
  selvo::PacketDataState end;
  selvo::AccessUnitState unit;
  selvo::AudioRunState run;
  selvo::MediaPacket packet(audio ? 4096 : 2048);
  selvo::PacketProcessState state = selvo::kPacketEmpty;
  size_t fed = 0;
  // Feeds the input in chunks, as reads of a growing file would, with the read step's
  // buffer rules; the last chunk marks the end of the media data.
  for (int step = 0; step < 100000 && !end.end; ++step) {
    if (state == selvo::kPacketEmpty) packet.Reset();
    if (state == selvo::kPacketEmpty || state == selvo::kPacketNeedData) {
      if (packet.position > 4095 || (packet.position > 0 && packet.filled == packet.capacity)) {
        std::memmove(packet.buffer, packet.buffer + packet.position, packet.unread());
        packet.filled -= packet.position;
        packet.position = 0;
      }
      const size_t n = std::min({chunk, size - fed, packet.capacity - packet.filled});
      if (n == 0) break;
      std::memcpy(packet.buffer + packet.filled, data + fed, n);
      packet.filled += n;
      fed += n;
      packet.file_offset += static_cast<int64_t>(n);
      if (fed == size) packet.end_offset = packet.file_offset;
    }
    const int result = audio ? segmenter.MakeAudioPES(ts, packet, counter, end, run)
                             : segmenter.MakeVideoPESAvc(ts, packet, counter, end, unit);
    if (result == selvo::kPacketFull) break;
    if (packet.position > packet.filled) std::abort();
    state = static_cast<selvo::PacketProcessState>(result);
    if (state == selvo::kPacketConsumed) state = selvo::kPacketEmpty;
    if (ts.size() > (64u << 20)) ts.Clear();
  }
  if (audio) segmenter.FlushAudioRun(ts, packet, counter, run);
  if (ts.size() % 188 != 0) std::abort();
  return 0;
}
