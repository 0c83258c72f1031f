// A recording read while ffmpeg writes it in real time, as the recorder does during a
// live broadcast.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "engine/streaming_pass.h"
#include "engine/testing/media_tools.h"
#include "engine/testing/pass_fixtures.h"
#include "engine/testing/temp_dir.h"

extern char** environ;

namespace selvo {
namespace {

using namespace selvo::testing;

TEST(GrowingRecordingTest, PiecesMadeWhileTheRecordingGrowsAreThoseOfTheFinishedFiles) {
  // Sample files made with the recorder's settings.
  const std::string video_sample = Recording("video-3s");
  const std::string audio_sample = Recording("audio-3s");
  ASSERT_FALSE(video_sample.empty() || audio_sample.empty());
  MediaSegmenter segmenter;
  bool is_amr = true;
  ASSERT_EQ(segmenter.InitMediaParameters(10, video_sample.c_str(), audio_sample.c_str(), &is_amr),
            1);

  TempDir dir;
  const std::string video = dir.File("live-video.mov");
  const std::string audio = dir.File("live-audio.mov");
  const std::string script = SourceDir() + "/engine/testdata/make_recordings.sh";
  const char* argv[] = {"bash", script.c_str(), "--live", dir.path().c_str(), "4", nullptr};
  pid_t recorder = -1;
  ASSERT_EQ(posix_spawnp(&recorder, "bash", nullptr, nullptr, const_cast<char**>(argv), environ),
            0);

  // When the recorder has finished its files, it says so.
  std::atomic<int> stop{0};
  std::atomic<int> recorder_stopped{0};
  int recorder_status = -1;
  std::thread waiter([&] {
    waitpid(recorder, &recorder_status, 0);
    recorder_stopped.fetch_add(1);
  });

  std::atomic<int> waits{0};
  PassSetup live;
  live.video_path = video;
  live.audio_path = audio;
  live.control.stop = &stop;
  live.control.recorder_stopped = &recorder_stopped;
  live.control.pause = [&](int milliseconds) {
    ++waits;
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  };
  FakeSink first_sink;
  ProgressLog log;
  const PassOutcome first = RunStreamingPass(live, segmenter, first_sink, &log);
  waiter.join();
  ASSERT_TRUE(WIFEXITED(recorder_status) && WEXITSTATUS(recorder_status) == 0);
  ASSERT_EQ(log.located.size(), 1u);  // found 'mdat' in the growing files
  EXPECT_GT(waits.load(), 5);         // and waited for data

  // The pass ends on its own or, once the recorder stopped, runs a second one on the
  // finished files from the last accepted piece.
  std::vector<Piece> second_pieces;
  size_t accepted = first_sink.pieces.size();
  std::printf("the live pass %s\n", first.next == kPassRecorderStopped
                                        ? "ended when the recorder stopped"
                                        : "saw the end of the media data");
  if (first.next == kPassRecorderStopped) {
    accepted = log.after.size();
    PassSetup second = live;
    second.progress = log.after.empty() ? log.located.back() : log.after.back();
    second.control.recordings_final = true;
    FakeSink second_sink;
    ASSERT_EQ(RunStreamingPass(second, segmenter, second_sink, nullptr).result, kResultCompleted);
    second_pieces = second_sink.pieces;
  } else {
    EXPECT_EQ(first.result, kResultCompleted);
  }
  EXPECT_GE(log.after.size(), 2u);  // pieces went out while the files grew

  PassSetup finished = live;
  finished.progress.video_position = 0;
  finished.progress.audio_position = 0;
  finished.control.recordings_final = true;
  finished.control.recorder_stopped = nullptr;  // still raised if the live pass ended by itself
  FakeSink finished_sink;
  ASSERT_EQ(RunStreamingPass(finished, segmenter, finished_sink, nullptr).result, kResultCompleted);
  ExpectSameAsFinished(finished_sink.pieces, first_sink.pieces, accepted, second_pieces);

  // And what went out decodes to the recorded video frames.
  std::ofstream out(dir.File("all.ts"), std::ios::binary);
  for (const auto* pieces : {&first_sink.pieces, &second_pieces}) {
    for (size_t i = 0; i < (pieces == &first_sink.pieces ? accepted : pieces->size()); ++i) {
      out.write(reinterpret_cast<const char*>((*pieces)[i].data.data()),
                static_cast<std::streamsize>((*pieces)[i].data.size()));
    }
  }
  out.close();
  std::string warnings;
  const auto ours = FrameHashes("-i " + Quote(dir.File("all.ts")) + " -map 0:v", &warnings);
  const auto source = FrameHashes("-i " + Quote(video) + " -map 0:v");
  EXPECT_EQ(warnings, "");
  ASSERT_GE(ours.size() + 5, source.size());
  for (size_t i = 0; i < ours.size(); ++i) ASSERT_EQ(ours[i], source[i]) << i;
}

}  // namespace
}  // namespace selvo
