// HTTPS: the certificate is verified; it fails without the CA and works with it.
#include <gtest/gtest.h>

#include "server/media_test_support.h"
#include "server/testing/server_fixture.h"

namespace {

TEST(TlsTest, ServesHttpsThatVerifiesWithItsCertificate) {
  server_testing::ServerOptions options;
  options.tls = true;
  server_testing::ServerProcess server(options);
  ASSERT_TRUE(server.url().starts_with("https://127.0.0.1:")) << server.url();

  server_testing::HttpClient untrusting(server.url());
  server_testing::HttpAnswer refused = untrusting.Get("/");
  EXPECT_EQ(refused.status, 0);
  EXPECT_FALSE(refused.error.empty());

  server_testing::HttpClient client(server.url(), server.ca_file());
  ASSERT_EQ(client.Get("/").status, 200);
  auto owner = server_testing::RegisterEmailUser(client, "tls@example.com", "secret1", "Tls");
  platform::Value published = server_testing::PublishVideo(client, owner);
  std::string publish = published["publish_url"].AsString();
  EXPECT_TRUE(publish.starts_with("https://"));
  ASSERT_EQ(media_test::OpenStream(client, publish, owner.token).status, 200);
  ASSERT_EQ(media_test::SendPiece(client, publish, owner.token, 1, media_test::Pieces(12)[0]).status, 200);
  server_testing::HttpAnswer playlist = client.Send("GET", published["play_url"].AsString() + ".m3u8", "", {});
  EXPECT_EQ(media_test::PlaylistUris(playlist.body).size(), 1u);
}

}  // namespace
