// The ingest protocol and the origin over real HTTP: who may upload, the
// piece rules, thumbnails, voice comments, and how soon viewers see a piece.
#include <gtest/gtest.h>

#include <chrono>
#include <set>

#include "server/media_test_support.h"
#include "server/testing/server_fixture.h"

namespace {

using media_test::CloseStream;
using media_test::OpenStream;
using media_test::Pieces;
using media_test::PlaylistUris;
using media_test::SendPiece;
using server_testing::Account;
using server_testing::HttpAnswer;
using server_testing::HttpClient;

class IngestTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_testing::ServerOptions options;
    options.extra_args = {"--max-piece-bytes", "200000", "--max-stream-bytes", "3000000"};
    server_ = new server_testing::ServerProcess(options);
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override {
    client_ = std::make_unique<HttpClient>(server_->url());
    static int counter = 0;
    owner_ = server_testing::RegisterEmailUser(
        *client_, "owner" + std::to_string(++counter) + "@example.com", "secret1", "Owner");
    platform::Value published = server_testing::PublishVideo(*client_, owner_);
    publish_url_ = published["publish_url"].AsString();
    play_url_ = published["play_url"].AsString();
    vid_ = published["_id"].AsInt();
  }
  std::string Playlist() { return client_->Send("GET", play_url_ + ".m3u8", "", {}).body; }

  static server_testing::ServerProcess* server_;
  std::unique_ptr<HttpClient> client_;
  Account owner_;
  std::string publish_url_, play_url_;
  int64_t vid_ = 0;
};
server_testing::ServerProcess* IngestTest::server_ = nullptr;

TEST_F(IngestTest, OnlyTheOwnersTokenUploads) {
  Account other = server_testing::RegisterEmailUser(*client_, "other@example.com", "secret1", "Other");
  EXPECT_EQ(OpenStream(*client_, publish_url_, other.token).status, 401);
  EXPECT_EQ(OpenStream(*client_, publish_url_, "not-a-token").status, 401);
  EXPECT_EQ(OpenStream(*client_, publish_url_, "").status, 401);
  ASSERT_EQ(OpenStream(*client_, publish_url_, owner_.token).status, 200);
  EXPECT_EQ(SendPiece(*client_, publish_url_, other.token, 1, Pieces(12)[0]).status, 401);
  EXPECT_EQ(CloseStream(*client_, publish_url_, other.token).status, 401);
  EXPECT_TRUE(PlaylistUris(Playlist()).empty());
  // A wrong stream key or id is no stream at all.
  std::string wrong_key = publish_url_.substr(0, publish_url_.size() - 1) +
                          (publish_url_.back() == '0' ? "1" : "0");
  EXPECT_EQ(OpenStream(*client_, wrong_key, owner_.token).status, 404);
  EXPECT_EQ(client_->Send("GET", play_url_.substr(0, play_url_.size() - 1) + "x.m3u8", "", {}).status, 404);
}

TEST_F(IngestTest, PieceRulesAndImmediateVisibility) {
  const auto& pieces = Pieces(12);
  ASSERT_EQ(pieces.size(), 12u);
  EXPECT_EQ(SendPiece(*client_, publish_url_, owner_.token, 1, pieces[0]).status, 409);  // not open
  // A bodiless cmd=0 first, as the recorder sends it when it has no thumbnail.
  ASSERT_EQ(client_->Send("HEAD", publish_url_ + "?cmd=0", "", {"Access-Token: " + owner_.token}).status, 200);
  ASSERT_EQ(OpenStream(*client_, publish_url_, owner_.token).status, 200);
  for (int n = 1; n <= 4; ++n) {
    ASSERT_EQ(SendPiece(*client_, publish_url_, owner_.token, n, pieces[n - 1]).status, 200);
    // Accepted means visible: the very next playlist request lists it.
    EXPECT_EQ(PlaylistUris(Playlist()).size(), static_cast<size_t>(n));
  }
  // Skipping ahead: refused with a reason.
  HttpAnswer skipped = SendPiece(*client_, publish_url_, owner_.token, 6, pieces[5]);
  EXPECT_EQ(skipped.status, 409);
  EXPECT_NE(skipped.json["msg"].AsString().find("skips ahead"), std::string::npos);
  // The last piece again, and an older one: accepted, the stream continues
  // from there, no position twice.
  ASSERT_EQ(SendPiece(*client_, publish_url_, owner_.token, 4, pieces[3]).status, 200);
  ASSERT_EQ(SendPiece(*client_, publish_url_, owner_.token, 2, pieces[1]).status, 200);
  EXPECT_EQ(PlaylistUris(Playlist()).size(), 2u);
  for (int n = 3; n <= 12; ++n) {
    ASSERT_EQ(SendPiece(*client_, publish_url_, owner_.token, n, pieces[n - 1]).status, 200) << n;
  }
  std::vector<std::string> uris = PlaylistUris(Playlist());
  ASSERT_EQ(uris.size(), 12u);
  EXPECT_EQ(std::set<std::string>(uris.begin(), uris.end()).size(), 12u);
  EXPECT_EQ(Playlist().find("ENDLIST"), std::string::npos);

  // Malformed commands and oversized pieces.
  struct Case {
    std::string query;
    std::string body;
    long status;
  };
  const Case cases[] = {
      {"", "", 400},
      {"?cmd=7", "", 400},
      {"?cmd=2&seg=2", pieces[0], 400},
      {"?cmd=2&seg=x&sec=1", pieces[0], 400},
      {"?cmd=2&seg=2&sec=11", pieces[0], 400},
      {"?cmd=2&seg=2&sec=3", "", 400},
      {"?cmd=2&seg=2&sec=3", "no transport stream", 400},
      {"?cmd=2&seg=2&sec=3", std::string(188 * 1100, '\x47'), 413},
      {"?cmd=0", "GIF89a", 400},
  };
  for (const Case& c : cases) {
    HttpAnswer answer = client_->Send("PUT", publish_url_ + c.query, c.body, {"Access-Token: " + owner_.token});
    EXPECT_EQ(answer.status, c.status) << c.query;
    EXPECT_EQ(answer.json["code"].AsInt(), c.status) << c.query;
  }
  EXPECT_EQ(PlaylistUris(Playlist()).size(), 12u);

  ASSERT_EQ(CloseStream(*client_, publish_url_, owner_.token).status, 200);
  EXPECT_TRUE(Playlist().ends_with("#EXT-X-ENDLIST\n"));
  EXPECT_EQ(SendPiece(*client_, publish_url_, owner_.token, 13, pieces[0]).status, 409);
}

TEST_F(IngestTest, ThumbnailsAreToldApartByContent) {
  const std::string jpeg = std::string("\xFF\xD8\xFF\xE0", 4) + "jpeg body";
  const std::string png = std::string("\x89PNG\r\n\x1A\n", 8) + "png body";
  EXPECT_EQ(client_->Send("GET", play_url_ + "_280x210.jpg", "", {}).status, 404);
  ASSERT_EQ(OpenStream(*client_, publish_url_, owner_.token, jpeg).status, 200);
  HttpAnswer thumbnail = client_->Send("GET", play_url_ + "_280x210.jpg", "", {});
  EXPECT_EQ(thumbnail.status, 200);
  EXPECT_EQ(thumbnail.content_type, "image/jpeg");
  EXPECT_EQ(thumbnail.body, jpeg);
  ASSERT_EQ(OpenStream(*client_, publish_url_, owner_.token, png).status, 200);
  thumbnail = client_->Send("GET", play_url_ + "_280x210.jpg", "", {});
  EXPECT_EQ(thumbnail.content_type, "image/png");
  EXPECT_EQ(thumbnail.body, png);
}

TEST_F(IngestTest, VoiceCommentsHaveTheirOwnStream) {
  Account fan = server_testing::RegisterEmailUser(*client_, "fan@example.com", "secret1", "Fan");
  client_->set_token(fan.token);
  HttpAnswer comment = client_->Post("/api/video/comment", {{"vid", std::to_string(vid_)},
                                                            {"video_owner_id", std::to_string(owner_.uid)},
                                                            {"ctype", "voice"}});
  ASSERT_EQ(comment.status, 200);
  std::string publish = comment.json["voice_publish_url"].AsString();
  std::string play = comment.json["voice_play_url"].AsString();
  EXPECT_EQ(OpenStream(*client_, publish, owner_.token).status, 401);  // the commenter's own
  ASSERT_EQ(client_->Send("HEAD", publish + "?cmd=0", "", {"Access-Token: " + fan.token}).status, 200);
  const auto& pieces = Pieces(3, true);
  ASSERT_EQ(pieces.size(), 3u);
  for (int n = 1; n <= 3; ++n) ASSERT_EQ(SendPiece(*client_, publish, fan.token, n, pieces[n - 1]).status, 200);
  ASSERT_EQ(CloseStream(*client_, publish, fan.token).status, 200);
  HttpAnswer playlist = client_->Send("GET", play + ".m3u8", "", {});
  EXPECT_EQ(playlist.status, 200);
  EXPECT_EQ(playlist.content_type, "application/vnd.apple.mpegurl");
  EXPECT_EQ(PlaylistUris(playlist.body).size(), 3u);
  EXPECT_TRUE(playlist.body.ends_with("#EXT-X-ENDLIST\n"));
  HttpAnswer segment = client_->Send("GET", play.substr(0, play.rfind('/') + 1) + PlaylistUris(playlist.body)[1], "", {});
  EXPECT_EQ(segment.status, 200);
  EXPECT_EQ(segment.content_type, "video/MP2T");
}

TEST_F(IngestTest, WatchPagePlaysThePlaylist) {
  client_->set_token(owner_.token);
  HttpAnswer meta = client_->Get("/api/video", {{"vid", std::to_string(vid_)}});
  HttpAnswer page = client_->Send("GET", meta.json["web_url"].AsString(), "", {});
  EXPECT_EQ(page.status, 200);
  EXPECT_TRUE(page.content_type.starts_with("text/html"));
  EXPECT_NE(page.body.find("<video"), std::string::npos);
  std::string stem = play_url_.substr(play_url_.rfind('/') + 1);
  EXPECT_NE(page.body.find(stem + ".m3u8"), std::string::npos);
}

}  // namespace
