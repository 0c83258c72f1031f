// Throughput of the transport-stream writer: the PES packetiser alone, and access units
// built from length-prefixed NAL units and packetised (MakeVideoPESAvc).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/media_segmenter.h"
#include "engine/testing/synthetic_recordings.h"
#include "engine/testing/temp_dir.h"
#include "engine/ts_packetizer.h"

namespace {

void BM_WritePESPacketImpl(benchmark::State& state) {
  const std::vector<uint8_t> payload(static_cast<size_t>(state.range(0)), 0x5A);
  selvo::BufferWriter writer(1 << 20);
  uint32_t counter = 0;
  for (auto _ : state) {
    writer.Clear();
    selvo::WritePESPacketImpl(writer, selvo::kVideoPid, selvo::kVideoStreamId, payload.data(),
                              payload.size(), counter, 0);
    benchmark::DoNotOptimize(writer.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * payload.size()));
}
// An audio run, a P frame and a key frame of a 720p recording.
BENCHMARK(BM_WritePESPacketImpl)->Arg(1500)->Arg(20000)->Arg(150000);

void BM_MakeVideoPESAvc(benchmark::State& state) {
  using namespace selvo::testing;
  TempDir dir;
  WriteFile(dir.File("video.mov"), AvcSampleFile(TestSps(), TestPps()));
  WriteFile(dir.File("audio.mov"), AacSampleFile());
  selvo::MediaSegmenter segmenter;
  bool is_amr;
  segmenter.InitMediaParameters(30, dir.File("video.mov").c_str(), dir.File("audio.mov").c_str(),
                                &is_amr);
  // 64 frames of 4 Mbit/s at 30 fps: a key frame of 120 kB, then frames of about 15 kB.
  std::vector<uint8_t> stream;
  for (int i = 0; i < 64; ++i) {
    const Bytes nal = Nal(i % 30 == 0 ? 0x65 : 0x41, i % 30 == 0 ? 120000 : 15000 + i * 11);
    stream.insert(stream.end(), nal.begin(), nal.end());
  }
  selvo::BufferWriter ts(1 << 21);
  selvo::AccessUnitState unit(1 << 18);
  selvo::MediaPacket packet(selvo::kVideoPacketCapacity);
  for (auto _ : state) {
    selvo::ContinuityCounter counter;
    counter.audio_time = UINT32_MAX;
    selvo::PacketDataState end;
    segmenter.ResetNalCounter();
    size_t fed = 0;
    packet.Reset();
    ts.Clear();
    // The stream through the read buffer in reads of its size, as from a file.
    while (fed < stream.size() || packet.unread() > 0) {
      const size_t room = packet.capacity - packet.filled;
      const size_t n = std::min(room, stream.size() - fed);
      std::memcpy(packet.buffer + packet.filled, stream.data() + fed, n);
      packet.filled += n;
      fed += n;
      const int result = segmenter.MakeVideoPESAvc(ts, packet, counter, end, unit);
      if (result == selvo::kPacketNeedData || result == selvo::kPacketConsumed) {
        std::memmove(packet.buffer, packet.buffer + packet.position, packet.unread());
        packet.filled -= packet.position;
        packet.position = 0;
        if (fed == stream.size() && packet.unread() < 8) break;
      }
      if (ts.size() > (1 << 20)) ts.Clear();
    }
    benchmark::DoNotOptimize(ts.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(BM_MakeVideoPESAvc);

}  // namespace
