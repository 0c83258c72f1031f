// Throughput of the AAC frame walker on recordings made by ffmpeg (made on first use with
// engine/testdata/make_recordings.sh into $TMPDIR/selvo-benchmark-recordings).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/aac_frame_parser.h"
#include "engine/box_reader.h"

namespace {

struct Media {
  std::vector<uint8_t> data;  // the 'mdat' payload: raw AAC frames back to back
};

Media LoadRecording(const std::string& name) {
  const char* tmp = std::getenv("TMPDIR");
  const std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/selvo-benchmark-recordings";
  const std::string path = dir + "/" + name + ".mov";
  const std::string command =
      "bash '" SELVO_BENCH_SOURCE_DIR "/engine/testdata/make_recordings.sh' '" + dir + "' " + name;
  if (std::system(command.c_str()) != 0) std::abort();
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) std::abort();
  uint32_t size = 0;
  const int64_t offset = selvo::SeekToMediaTag(file, selvo::MakeTag("mdat"), &size);
  Media media;
  media.data.resize(size);
  if (offset < 0 || fseeko(file, offset, SEEK_SET) != 0 ||
      std::fread(media.data.data(), 1, size, file) != size) {
    std::abort();
  }
  std::fclose(file);
  return media;
}

void WalkFrames(benchmark::State& state, const std::string& name, int sampling_index) {
  const Media media = LoadRecording(name);
  selvo::InitAacTables();
  size_t frames = 0;
  for (auto _ : state) {
    frames = 0;
    for (size_t at = 0; at < media.data.size(); ++frames) {
      const int length = selvo::AacFrameLength(media.data.data() + at, media.data.size() - at,
                                               sampling_index, false);
      if (length <= 0) std::abort();
      at += static_cast<size_t>(length);
    }
    benchmark::DoNotOptimize(frames);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * media.data.size()));
  state.counters["frames"] = static_cast<double>(frames);
}

void BM_AacFrameWalk_22050Hz_32kbps(benchmark::State& state) { WalkFrames(state, "audio-12s", 7); }
void BM_AacFrameWalk_Transients_22050Hz_32kbps(benchmark::State& state) {
  WalkFrames(state, "audio-transients", 7);
}
void BM_AacFrameWalk_44100Hz_96kbps(benchmark::State& state) {
  WalkFrames(state, "audio-dense", 4);
}
BENCHMARK(BM_AacFrameWalk_22050Hz_32kbps);
BENCHMARK(BM_AacFrameWalk_Transients_22050Hz_32kbps);
BENCHMARK(BM_AacFrameWalk_44100Hz_96kbps);

}  // namespace
