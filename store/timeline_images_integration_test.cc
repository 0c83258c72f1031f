// Thumbnails and playlists fetched from the real selvo-server on loopback,
// through the libcurl client: what the ingest received comes back as the
// cached thumbnail, and playlists arrive as text.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "platform/file_system.h"
#include "platform/image_codec.h"
#include "platform/linux/curl_http_client.h"
#include "platform/linux/linux_dispatcher.h"
#include "platform/testing/fake_environment.h"
#include "server/testing/http_client.h"
#include "server/testing/server_fixture.h"
#include "store/storelib.h"
#include "store/timeline_utils.h"

namespace store {
namespace {

class TimelineImagesIntegrationTest : public ::testing::Test {
 protected:
  TimelineImagesIntegrationTest() {
    platform::SetDefaultDispatcher(&dispatcher_);
    platform::SetDefaultHttpClientFactory(&http_);
  }
  ~TimelineImagesIntegrationTest() override {
    TimelineUtils::ResetImageCaches();
    storelib::CloseStore();
    platform::SetDefaultHttpClientFactory(nullptr);
    platform::SetDefaultDispatcher(nullptr);
    platform::RemoveTree(dir_);
  }

  // Waits for one of the callbacks to run.
  template <typename Start>
  bool Wait(Start start) {
    auto done = std::make_shared<bool>(false);
    start([done] { *done = true; });
    return dispatcher_.RunMainLoopUntil([done] { return *done; }, std::chrono::seconds(20));
  }

  server_testing::ServerProcess server_;
  platform::LinuxDispatcher dispatcher_{2};
  platform::CurlHttpClientFactory http_{platform::CurlSettings{}};
  std::string dir_ = platform::MakeTempDirectory("selvo-images-e2e");
};

TEST_F(TimelineImagesIntegrationTest, ThumbnailAndPlaylistOfABroadcast) {
  server_testing::HttpClient raw(server_.url());
  server_testing::Account owner =
      server_testing::RegisterEmailUser(raw, "ann@images.test", "secret1", "Ann");
  platform::Value video = server_testing::PublishVideo(raw, owner);
  const int64_t vid = video["_id"].AsInt();
  const std::string playUrl = video["play_url"].AsString();

  // The recorder opens the stream with its first picture as the thumbnail.
  const platform::Image picture = platform::Image::Filled(280, 210, 30, 120, 220);
  auto open = raw.Send("PUT", video["publish_url"].AsString() + "?cmd=0",
                       *platform::DefaultImageCodec().EncodeJpeg(picture, 0.9),
                       {"Access-Token: " + owner.token});
  ASSERT_EQ(open.status, 200) << open.body;

  ASSERT_TRUE(storelib::OpenStore(static_cast<uint64_t>(owner.uid), dir_));
  const std::string thumbnailUrl = TimelineUtils::MakeThumbnailUrl(playUrl);
  ImagePtr loaded;
  ASSERT_TRUE(Wait([&](auto done) {
    TimelineUtils::LoadThumbnailImage(
        thumbnailUrl, vid,
        [&loaded, done](const ImagePtr& image) {
          loaded = image;
          done();
        },
        done);
  }));
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->width, 280);
  EXPECT_EQ(loaded->height, 210);
  const uint8_t* pixel = loaded->pixel(140, 105);
  EXPECT_NEAR(pixel[2], 220, 8);  // a JPEG: close to the colour sent

  // Written as a PNG in the background; from then on it is found offline.
  const std::string file = TimelineUtils::ThumbnailFullPath(vid);
  for (int i = 0; i < 1000 && !platform::DefaultFileSystem().Exists(file); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(platform::DefaultFileSystem().Exists(file));
  TimelineUtils::ResetImageCaches();
  ImagePtr cached = TimelineUtils::CachedThumbnail(thumbnailUrl, vid);
  ASSERT_TRUE(cached);
  EXPECT_EQ(cached->rgba, loaded->rgba);

  // The playlist as text; an unknown stream's playlist is a failure.
  std::string playlist;
  bool failed = false;
  ASSERT_TRUE(Wait([&](auto done) {
    TimelineUtils::DownloadRemoteTextFile(
        TimelineUtils::MakePlayUrl(playUrl),
        [&playlist, done](const std::string& text) {
          playlist = text;
          done();
        },
        done);
  }));
  EXPECT_EQ(playlist.rfind("#EXTM3U", 0), 0u) << playlist;
  ASSERT_TRUE(Wait([&](auto done) {
    TimelineUtils::DownloadRemoteTextFile(
        server_.url() + "/hls/video/" + std::to_string(vid) + "/wrongkey.m3u8",
        [done](const std::string&) { done(); },
        [&failed, done] {
          failed = true;
          done();
        });
  }));
  EXPECT_TRUE(failed);
}

}  // namespace
}  // namespace store
