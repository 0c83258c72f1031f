// The avatar, thumbnail and playlist caches, with downloads that the test
// answers when it chooses (the scripted HTTP port) and real files and codec.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/image_codec.h"
#include "platform/linux/linux_dispatcher.h"
#include "platform/log.h"
#include "platform/testing/fake_platform.h"
#include "store/icon_downloader.h"
#include "store/storelib.h"
#include "store/timeline_utils.h"

namespace store {
namespace {

using platform::HttpResponse;
using platform::Image;

HttpResponse Picture(const Image& image, bool jpeg = false) {
  HttpResponse response;
  response.status = 200;
  response.content_type = jpeg ? "image/jpeg" : "image/png";
  response.body = jpeg ? *platform::DefaultImageCodec().EncodeJpeg(image, 1.0)
                       : *platform::DefaultImageCodec().EncodePng(image);
  return response;
}

HttpResponse Status(int status, std::string body = "") {
  HttpResponse response;
  response.status = status;
  response.body = std::move(body);
  return response;
}

const Image kRed = Image::Filled(4, 3, 255, 0, 0);
const Image kBlue = Image::Filled(4, 3, 0, 0, 255);
const Image kGreen = Image::Filled(2, 2, 0, 255, 0);

// What one load reported.
struct Outcome {
  int successes = 0;
  int failures = 0;
  ImagePtr image;
  TimelineUtils::ImageSuccess Success() {
    return [this](const ImagePtr& i) {
      ++successes;
      image = i;
    };
  }
  TimelineUtils::Failure Failure() {
    return [this] { ++failures; };
  }
};

class TimelineImagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetLogSink([this](std::string_view line) { log_.emplace_back(line); });
    documents_ = fake_.environment.DocumentsDirectory();
    platform::DefaultFileSystem().CreateDirectories(documents_);
    ASSERT_TRUE(storelib::OpenStore(7, documents_));
  }
  void TearDown() override {
    TimelineUtils::ResetImageCaches();
    TimelineUtils::SetSignedInUserIdSource(nullptr);
    storelib::CloseStore();
    platform::SetLogSink(nullptr);
  }

  std::vector<std::string> Files(const std::string& directory) {
    return platform::DefaultFileSystem().ListDirectory(directory);
  }
  bool Logged(const std::string& line) {
    for (const auto& l : log_) {
      if (l == line) return true;
    }
    return false;
  }
  // Answers request `i` and lets every queue run.
  void Answer(size_t i, HttpResponse response) {
    ASSERT_TRUE(fake_.http.Respond(i, std::move(response)));
    fake_.dispatcher.RunUntilIdle();
  }

  platform::FakePlatform fake_;
  std::string documents_;
  std::vector<std::string> log_;
};

bool SamePixels(const ImagePtr& image, const Image& expected) {
  return image && image->width == expected.width && image->height == expected.height &&
         image->rgba == expected.rgba;
}

TEST_F(TimelineImagesTest, ThumbnailDownloadedOnceKeptInMemoryAndOnDisk) {
  const std::string url = "http://media.test/hls/video/42/k_280x210.jpg";
  EXPECT_EQ(TimelineUtils::CachedThumbnail(url, 42), nullptr);

  Outcome first, second;
  TimelineUtils::LoadThumbnailImage(url, 42, first.Success(), first.Failure());
  TimelineUtils::LoadThumbnailImage(url, 42, second.Success(), second.Failure());
  ASSERT_EQ(fake_.http.size(), 1u);  // the second request for the same URL asks nothing
  const platform::HttpRequest& request = fake_.http.request(0);
  EXPECT_EQ(request.method, "GET");
  EXPECT_EQ(request.url, url);
  EXPECT_EQ(request.Header("Accept"), "image/*");

  Answer(0, Picture(kRed, /*jpeg=*/false));
  EXPECT_EQ(first.successes, 1);
  EXPECT_TRUE(SamePixels(first.image, kRed));
  EXPECT_EQ(second.successes + second.failures, 0);                 // and hears nothing
  EXPECT_EQ(TimelineUtils::CachedThumbnail(url, 42), first.image);  // from memory

  // One PNG file, named by the video id, and nothing else beside it.
  const std::string directory = storelib::ThumbnailCacheDirectory();
  EXPECT_EQ(Files(directory), std::vector<std::string>{"42.png"});
  auto bytes = platform::DefaultFileSystem().ReadFile(directory + "/42.png");
  ASSERT_TRUE(bytes);
  EXPECT_EQ(platform::SniffImageFormat(*bytes), platform::ImageFormat::kPng);

  // After the memory is gone, the file answers (and fills the memory again).
  TimelineUtils::ResetImageCaches();
  ImagePtr fromFile = TimelineUtils::CachedThumbnail(url, 42);
  EXPECT_TRUE(SamePixels(fromFile, kRed));
  EXPECT_EQ(TimelineUtils::CachedThumbnail(url, 42), fromFile);
  EXPECT_EQ(TimelineUtils::CachedThumbnail("http://media.test/other.jpg", 43), nullptr);
  EXPECT_EQ(fake_.http.size(), 1u);

  // A video without a thumbnail URL finds its own file, and never another's
  // picture through the memory cache.
  EXPECT_TRUE(SamePixels(TimelineUtils::CachedThumbnail("", 42), kRed));
  EXPECT_EQ(TimelineUtils::CachedThumbnail("", 43), nullptr);

  // Without a video id or URL there is nothing to load.
  Outcome refused;
  TimelineUtils::LoadThumbnailImage(url, std::nullopt, refused.Success(), refused.Failure());
  TimelineUtils::LoadThumbnailImage("", 42, refused.Success(), refused.Failure());
  EXPECT_EQ(refused.failures, 2);
  EXPECT_EQ(fake_.http.size(), 1u);
}

TEST_F(TimelineImagesTest, FailedFetchesLeaveNoFileAndMayBeTriedAgain) {
  struct Case {
    const char* name;
    HttpResponse response;
  };
  const Case cases[] = {
      {"no answer", platform::NoResponse()},
      {"HTTP error with a picture as its body",
       [] {
         HttpResponse r = Picture(kRed);
         r.status = 404;
         return r;
       }()},
      {"not a picture", Status(200, "<html>hello</html>")},
      {"a truncated picture",
       [] {
         HttpResponse r = Picture(kRed, /*jpeg=*/true);
         r.body.resize(r.body.size() / 2);
         return r;
       }()},
  };
  int video = 100;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string url = "http://media.test/" + std::to_string(++video) + "_280x210.jpg";
    Outcome outcome;
    TimelineUtils::LoadThumbnailImage(url, video, outcome.Success(), outcome.Failure());
    const size_t index = fake_.http.size() - 1;
    Answer(index, c.response);
    EXPECT_EQ(outcome.failures, 1);
    EXPECT_EQ(outcome.successes, 0);
    EXPECT_TRUE(Logged("Get remote thumbnail failed: " + url));
    EXPECT_TRUE(Logged("FAILURE: " + url));
    EXPECT_TRUE(Files(storelib::ThumbnailCacheDirectory()).empty());
    EXPECT_EQ(TimelineUtils::CachedThumbnail(url, video), nullptr);

    // The URL is free again: the next request downloads anew.
    Outcome retry;
    TimelineUtils::LoadThumbnailImage(url, video, retry.Success(), retry.Failure());
    ASSERT_EQ(fake_.http.size(), index + 2);
    Answer(index + 1, Picture(kBlue, /*jpeg=*/true));
    EXPECT_EQ(retry.successes, 1);
    ASSERT_TRUE(retry.image);
    EXPECT_EQ(retry.image->width, 4);  // a JPEG: close to blue, not exact
    EXPECT_EQ(Files(storelib::ThumbnailCacheDirectory()).size(), 1u);
    platform::DefaultFileSystem().RemoveFile(TimelineUtils::ThumbnailFullPath(video));
  }
}

TEST_F(TimelineImagesTest, AvatarLookupOrder) {
  const std::string url = "http://media.test/media/avatars/a1b2.png";
  const std::string avatars = storelib::AvatarCacheDirectory();
  EXPECT_EQ(TimelineUtils::AvatarFullPath(url, "9"), avatars + "/9_a1b2.png.png");
  EXPECT_EQ(TimelineUtils::BuddyAvatarFullPath(url, "9"), avatars + "/buddy_9_a1b2.png.png");

  // User 9's avatar downloaded once as a stranger's, then as a friend's.
  Outcome other, buddy;
  TimelineUtils::LoadAvatarImage(url, "9", other.Success(), other.Failure());
  Answer(0, Picture(kRed));
  TimelineUtils::LoadBuddyAvatarImage(url, "9", buddy.Success(), buddy.Failure());
  Answer(1, Picture(kBlue));
  EXPECT_EQ(other.successes, 1);
  EXPECT_EQ(buddy.successes, 1);
  EXPECT_EQ(fake_.http.request(1).Header("Accept"), "image/*");
  EXPECT_TRUE(platform::DefaultFileSystem().Exists(TimelineUtils::AvatarFullPath(url, "9")));
  EXPECT_TRUE(platform::DefaultFileSystem().Exists(TimelineUtils::BuddyAvatarFullPath(url, "9")));

  // The memory first; then the friend's file before the other one.
  EXPECT_TRUE(SamePixels(TimelineUtils::CachedAvatar(url, "9"), kBlue));
  TimelineUtils::ResetImageCaches();
  EXPECT_TRUE(SamePixels(TimelineUtils::CachedAvatar(url, "9"), kBlue));
  TimelineUtils::ResetImageCaches();
  TimelineUtils::RemoveBuddyAvatarFile(url, "9");
  EXPECT_FALSE(platform::DefaultFileSystem().Exists(TimelineUtils::BuddyAvatarFullPath(url, "9")));
  EXPECT_TRUE(SamePixels(TimelineUtils::CachedAvatar(url, "9"), kRed));

  // Without a user id or URL: nothing, even for a URL held in memory.
  EXPECT_EQ(TimelineUtils::CachedAvatar(url, ""), nullptr);
  EXPECT_EQ(TimelineUtils::CachedAvatar("", "9"), nullptr);
  Outcome refused;
  TimelineUtils::LoadAvatarImage(url, "", refused.Success(), refused.Failure());
  TimelineUtils::LoadBuddyAvatarImage("", "9", refused.Success(), refused.Failure());
  EXPECT_EQ(refused.failures, 2);
  EXPECT_EQ(fake_.http.size(), 2u);

  // The signed-in user's own avatar file answers for him, whatever the URL,
  // and is not taken into the memory cache.
  EXPECT_EQ(TimelineUtils::MyOwnLocalAvatarImageName(), "");  // nobody signed in
  EXPECT_FALSE(TimelineUtils::SaveMyOwnLocalAvatarImage(kGreen));
  TimelineUtils::SetSignedInUserIdSource([] { return std::string("7"); });
  EXPECT_EQ(TimelineUtils::MyOwnLocalAvatarImageName(), avatars + "/7.png");
  EXPECT_EQ(TimelineUtils::GetMyOwnLocalAvatarImage(), nullptr);
  ASSERT_TRUE(TimelineUtils::SaveMyOwnLocalAvatarImage(kGreen));
  EXPECT_TRUE(SamePixels(TimelineUtils::GetMyOwnLocalAvatarImage(), kGreen));
  EXPECT_TRUE(SamePixels(TimelineUtils::CachedAvatar("http://media.test/new.png", "7"), kGreen));
  EXPECT_EQ(TimelineUtils::CachedAvatar("http://media.test/new.png", "8"), nullptr);

  // The own avatar and the friends' avatars survive the cleaning.
  storelib::CleanAvatarCache(TimelineUtils::MyOwnLocalAvatarImageName(), avatars);
  EXPECT_TRUE(platform::DefaultFileSystem().Exists(avatars + "/7.png"));
}

TEST_F(TimelineImagesTest, ContactAvatarsAreFriendsAvatars) {
  const std::string url = "http://media.test/media/avatars/c3.jpg";
  std::vector<std::string> events;
  IconDownloader::StartDownload(
      31, url, [&](const std::string& u, const ImagePtr&) { events.push_back("got " + u); },
      [&](const platform::Value& e) {
        events.push_back(e["domain"].AsString() + " " + e["code"].AsString());
      });
  Answer(0, Picture(kRed));
  EXPECT_TRUE(platform::DefaultFileSystem().Exists(TimelineUtils::BuddyAvatarFullPath(url, "31")));
  TimelineUtils::ResetImageCaches();
  EXPECT_TRUE(SamePixels(IconDownloader::CachedImage(url, 31), kRed));
  IconDownloader::StartDownload(
      32, "http://media.test/gone.jpg", nullptr, [&](const platform::Value& e) {
        events.push_back(e["domain"].AsString() + " " + e["code"].AsString());
      });
  Answer(1, Status(404));
  EXPECT_EQ(events, (std::vector<std::string>{"got " + url, "BuddyAvatar -1"}));
}

TEST_F(TimelineImagesTest, NamesFromTheNetworkStayInsideTheCacheDirectory) {
  const std::string avatars = storelib::AvatarCacheDirectory();
  struct Case {
    std::string url, userId, file;
  };
  const Case cases[] = {
      {"http://h.test/a/b/face.jpg?size=big#top", "12", "12_face.jpg.png"},
      {"http://h.test/a/..", "12", "12_...png"},
      {"http://h.test/a/..%2F..%2Fetc%2Fpasswd", "12", "12_..%252F..%252Fetc%252Fpasswd.png"},
      {"http://h.test/a/face.jpg", "../../x", "..%2F..%2Fx_face.jpg.png"},
      {"http://h.test/", "12", "12_.png"},
      {"http://h.test/a/f%C3%A9 e.jpg", "1/2", "1%2F2_f%25C3%25A9%20e.jpg.png"},
  };
  size_t index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url + " " + c.userId);
    EXPECT_EQ(TimelineUtils::AvatarFullPath(c.url, c.userId), avatars + "/" + c.file);
    EXPECT_EQ(TimelineUtils::BuddyAvatarFullPath(c.url, c.userId), avatars + "/buddy_" + c.file);
    Outcome outcome;
    TimelineUtils::LoadAvatarImage(c.url, c.userId, outcome.Success(), outcome.Failure());
    Answer(index++, Picture(kRed));
    EXPECT_EQ(outcome.successes, 1);
    EXPECT_TRUE(platform::DefaultFileSystem().Exists(avatars + "/" + c.file));
  }
  EXPECT_EQ(Files(avatars).size(), std::size(cases));
  for (const std::string& name : Files(documents_)) {  // and nothing landed beside them
    EXPECT_TRUE(name == "AvatarCache" || name == "ThumbnailCache" ||
                name.starts_with("usercache_7.db"))
        << name;
  }
}

TEST_F(TimelineImagesTest, PlaylistText) {
  const std::string url = "http://media.test/hls/video/42/k.m3u8";
  const std::string playlist = "#EXTM3U\n#EXTINF:1.0,\n0.ts\n#EXT-X-ENDLIST\n";
  std::vector<std::string> texts;
  int failures = 0;
  auto success = [&](const std::string& text) { texts.push_back(text); };
  auto failure = [&] { ++failures; };

  TimelineUtils::DownloadRemoteTextFile("", success, failure);
  EXPECT_EQ(fake_.http.size(), 0u);
  TimelineUtils::DownloadRemoteTextFile(url, success, failure);
  TimelineUtils::DownloadRemoteTextFile(url, success, failure);  // already under way
  ASSERT_EQ(fake_.http.size(), 1u);
  Answer(0, Status(200, playlist));
  EXPECT_EQ(texts, std::vector<std::string>{playlist});

  // An error page or bytes that are not UTF-8 are failures, not playlists.
  TimelineUtils::DownloadRemoteTextFile(url, success, failure);
  Answer(1, Status(404, "{\"code\":404,\"msg\":\"no such stream\"}"));
  TimelineUtils::DownloadRemoteTextFile(url, success, failure);
  Answer(2, Status(200, "#EXTM3U\n\xff\xfe"));
  TimelineUtils::DownloadRemoteTextFile(url, success, failure);
  Answer(3, platform::NoResponse());
  EXPECT_EQ(failures, 3);
  EXPECT_EQ(texts.size(), 1u);
  EXPECT_TRUE(Files(storelib::ThumbnailCacheDirectory()).empty());
}

// On real threads (and under ThreadSanitizer): pictures are decoded and
// written away from the main queue, callbacks come back to it.
TEST_F(TimelineImagesTest, ManyDownloadsOnRealThreads) {
  auto dispatcher = std::make_unique<platform::LinuxDispatcher>(2);
  platform::SetDefaultDispatcher(dispatcher.get());
  const HttpResponse picture = Picture(kBlue);
  fake_.http.SetResponder([&](const platform::HttpRequest&) { return picture; });
  constexpr int kVideos = 12;
  int answered = 0;
  for (int video = 1; video <= kVideos; ++video) {
    TimelineUtils::LoadThumbnailImage(
        "http://media.test/" + std::to_string(video) + "_280x210.jpg", video,
        [&](const ImagePtr& image) { answered += SamePixels(image, kBlue) ? 1 : 0; }, nullptr);
  }
  ASSERT_TRUE(
      dispatcher->RunMainLoopUntil([&] { return answered == kVideos; }, std::chrono::seconds(20)));
  TimelineUtils::ResetImageCaches();
  platform::SetDefaultDispatcher(&fake_.dispatcher);
  dispatcher.reset();  // waits for the writes
  EXPECT_EQ(Files(storelib::ThumbnailCacheDirectory()).size(), size_t{kVideos});
}

}  // namespace
}  // namespace store
