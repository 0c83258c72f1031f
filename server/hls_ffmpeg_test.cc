// HLS clients no one here wrote (ffprobe and ffmpeg) read what the origin
// serves for a stream uploaded piece by piece: while it is live, and after it
// was closed, with no error (the players even report no warning) and its full
// duration. The pieces are cut like the recorder's: continuity counters run
// on, and only every tenth piece opens with the program tables.
#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "server/media_test_support.h"
#include "server/testing/server_fixture.h"

namespace {

using media_test::Pieces;
using media_test::RunProgram;
using server_testing::HttpClient;

TEST(HlsFfmpegTest, LiveAndFinishedStreamsPlayWithoutErrors) {
  server_testing::ServerProcess server;
  HttpClient client(server.url());
  auto owner = server_testing::RegisterEmailUser(client, "live@example.com", "secret1", "Live");
  platform::Value published = server_testing::PublishVideo(client, owner);
  std::string publish = published["publish_url"].AsString();
  std::string playlist = published["play_url"].AsString() + ".m3u8";
  const auto& pieces = Pieces(12);
  ASSERT_EQ(pieces.size(), 12u);
  // Whatever happens below, the followed stream ends, so the player returns.
  struct Closer {
    std::function<void()> close;
    ~Closer() { close(); }
  } closer{[&] { media_test::CloseStream(client, publish, owner.token); }};

  ASSERT_EQ(media_test::OpenStream(client, publish, owner.token).status, 200);
  for (int n = 1; n <= 5; ++n) {
    ASSERT_EQ(media_test::SendPiece(client, publish, owner.token, n, pieces[n - 1]).status, 200);
  }
  // Live: both streams found, nothing complained about.
  auto live = RunProgram({"ffprobe", "-v", "error", "-show_entries", "stream=codec_name", "-of",
                          "csv=p=0", playlist});
  EXPECT_EQ(live.status, 0) << live.err;
  EXPECT_EQ(live.err, "");
  EXPECT_NE(live.out.find("h264"), std::string::npos) << live.out;
  EXPECT_NE(live.out.find("aac"), std::string::npos) << live.out;

  // A player following the live stream to its end while the rest arrives.
  std::string copy = server.data_dir() + "/../followed.ts";
  media_test::ProgramOutput followed;
  std::thread player([&] {
    followed = RunProgram({"ffmpeg", "-v", "warning", "-nostdin", "-i", playlist, "-c", "copy", "-y", copy});
  });
  for (int n = 6; n <= 12; ++n) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(media_test::SendPiece(client, publish, owner.token, n, pieces[n - 1]).status, 200);
  }
  ASSERT_EQ(media_test::CloseStream(client, publish, owner.token).status, 200);
  player.join();
  EXPECT_EQ(followed.status, 0) << followed.err;
  EXPECT_EQ(followed.err, "");

  // Finished: the full duration and every frame, decoded without an error.
  auto duration = RunProgram({"ffprobe", "-v", "error", "-show_entries", "format=duration", "-of",
                              "csv=p=0", playlist});
  EXPECT_EQ(duration.status, 0) << duration.err;
  EXPECT_EQ(duration.err, "");
  EXPECT_NEAR(std::stod(duration.out.empty() ? "0" : duration.out), 12.0, 0.3) << duration.out;
  auto frames = RunProgram({"ffprobe", "-v", "error", "-count_frames", "-select_streams", "v",
                            "-show_entries", "stream=nb_read_frames", "-of", "csv=p=0", playlist});
  EXPECT_EQ(frames.status, 0) << frames.err;
  EXPECT_EQ(frames.err, "");
  EXPECT_EQ(std::stoi(frames.out.empty() ? "0" : frames.out), 120);
  auto decoded = RunProgram({"ffmpeg", "-v", "warning", "-nostdin", "-i", playlist, "-f", "null", "-"});
  EXPECT_EQ(decoded.status, 0);
  EXPECT_EQ(decoded.err, "");
}

}  // namespace
