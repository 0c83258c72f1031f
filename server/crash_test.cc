// kill -9 during an upload: after a restart on the same data directory every
// piece that was answered 200 is there, and the upload continues.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "server/media_test_support.h"
#include "server/testing/server_fixture.h"

namespace {

using media_test::Pieces;
using server_testing::HttpAnswer;
using server_testing::HttpClient;

// The URL's path, to be put on the restarted server's address.
std::string PathOf(const std::string& url) { return url.substr(url.find('/', url.find("//") + 2)); }

TEST(CrashTest, AcceptedPiecesSurviveKillNine) {
  server_testing::ServerProcess server;
  HttpClient client(server.url());
  auto owner = server_testing::RegisterEmailUser(client, "crash@example.com", "secret1", "Crash");
  platform::Value published = server_testing::PublishVideo(client, owner);
  std::string publish_path = PathOf(published["publish_url"].AsString());
  std::string play_path = PathOf(published["play_url"].AsString());
  const auto& pieces = Pieces(12);

  ASSERT_EQ(media_test::OpenStream(client, server.url() + publish_path, owner.token).status, 200);
  int accepted = 0;
  for (int n = 1; n <= 5; ++n) {
    ASSERT_EQ(media_test::SendPiece(client, server.url() + publish_path, owner.token, n, pieces[n - 1]).status, 200);
    accepted = n;
  }
  // Piece 6 is on its way when the server dies.
  HttpAnswer in_flight;
  std::thread uploader([&] {
    HttpClient own(server.url());
    in_flight = media_test::SendPiece(own, server.url() + publish_path, owner.token, 6, pieces[5]);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  server.Kill();
  uploader.join();
  if (in_flight.status == 200) accepted = 6;

  server.Restart();
  HttpClient again(server.url());
  HttpAnswer playlist = again.Send("GET", server.url() + play_path + ".m3u8", "", {});
  ASSERT_EQ(playlist.status, 200);
  std::vector<std::string> uris = media_test::PlaylistUris(playlist.body);
  ASSERT_GE(uris.size(), static_cast<size_t>(accepted));
  ASSERT_LE(uris.size(), 6u);
  std::string stem = server.url() + play_path.substr(0, play_path.rfind('/') + 1);
  for (int n = 1; n <= accepted; ++n) {
    HttpAnswer segment = again.Send("GET", stem + uris[n - 1], "", {});
    ASSERT_EQ(segment.status, 200);
    EXPECT_TRUE(segment.body.ends_with(pieces[n - 1])) << "piece " << n;
  }

  // The uploader resends what it has no answer for and goes on; the token
  // and the video are still known.
  std::string publish = server.url() + publish_path;
  ASSERT_EQ(media_test::OpenStream(again, publish, owner.token).status, 200);
  for (int n = accepted + 1; n <= 12; ++n) {
    ASSERT_EQ(media_test::SendPiece(again, publish, owner.token, n, pieces[n - 1]).status, 200) << n;
  }
  ASSERT_EQ(media_test::CloseStream(again, publish, owner.token).status, 200);
  auto duration = media_test::RunProgram({"ffprobe", "-v", "error", "-show_entries", "format=duration",
                                          "-of", "csv=p=0", server.url() + play_path + ".m3u8"});
  EXPECT_EQ(duration.status, 0) << duration.err;
  EXPECT_EQ(duration.err, "");
  EXPECT_NEAR(std::stod(duration.out.empty() ? "0" : duration.out), 12.0, 0.3);
}

}  // namespace
