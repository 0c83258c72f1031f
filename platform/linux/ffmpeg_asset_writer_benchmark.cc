// What recording costs: encoding one test picture (640x480 in, 480x360 H.264
// out) and one block of microphone samples (1024 at 44100 Hz to AAC at 22050 Hz).
#include <benchmark/benchmark.h>

#include <cmath>

#include "platform/linux/ffmpeg_asset_writer.h"
#include "platform/test_picture.h"
#include "platform/testing/fake_environment.h"

namespace platform {
namespace {

void BM_AppendVideo(benchmark::State& state) {
  const std::string dir = MakeTempDirectory("writer-benchmark");
  FfmpegAssetWriterFactory factory;
  auto writer = factory.CreateWriter(dir + "/video.mov", nullptr);
  writer->AddVideoInput(VideoOutputSettings{});
  writer->StartWriting();
  writer->StartSession(0);
  int64_t n = 0;
  for (auto _ : state) {
    state.PauseTiming();
    VideoFrame frame = VideoFrame::Allocate(640, 480);
    DrawTestPicture(frame, 1718000000000 + n * 100);
    frame.pts_us = n++ * 100000;
    state.ResumeTiming();
    writer->AppendVideo(frame);
  }
  writer->FinishWriting();
  RemoveTree(dir);
}
BENCHMARK(BM_AppendVideo)->Unit(benchmark::kMicrosecond);

void BM_DrawTestPicture(benchmark::State& state) {
  VideoFrame frame = VideoFrame::Allocate(640, 480);
  int64_t n = 0;
  for (auto _ : state) DrawTestPicture(frame, 1718000000000 + 100 * n++);
}
BENCHMARK(BM_DrawTestPicture)->Unit(benchmark::kMicrosecond);

void BM_AppendAudio(benchmark::State& state) {
  const std::string dir = MakeTempDirectory("writer-benchmark");
  FfmpegAssetWriterFactory factory;
  auto writer = factory.CreateWriter(dir + "/audio.mov", nullptr);
  writer->AddAudioInput(AudioOutputSettings{});
  writer->StartWriting();
  writer->StartSession(0);
  auto samples = std::make_shared<std::vector<int16_t>>(1024);
  for (int i = 0; i < 1024; ++i) (*samples)[i] = static_cast<int16_t>(8000 * std::sin(i * 0.0627));
  int64_t n = 0;
  for (auto _ : state) writer->AppendAudio(AudioSamples{44100, 1, n++ * 23220, samples});
  writer->FinishWriting();
  RemoveTree(dir);
}
BENCHMARK(BM_AppendAudio)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace platform
