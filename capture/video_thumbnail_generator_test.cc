#include "capture/video_thumbnail_generator.h"

#include <gtest/gtest.h>

#include "platform/asset_image_generator.h"
#include "platform/file_system.h"
#include "platform/testing/fake_platform.h"

namespace capture {
namespace {

// Pictures for files whose name contains "video"; nothing for others.
class FakeImageGenerator : public platform::AssetImageGenerator {
 public:
  bool HasVideoTrack(const std::string& path) override {
    return path.find("video") != std::string::npos;
  }
  std::optional<platform::Image> CopyImageAt(const std::string& path, double seconds, int w, int h,
                                             std::string*) override {
    requests.push_back(seconds);
    if (!HasVideoTrack(path)) return std::nullopt;
    return platform::Image::Filled(w, h * 3 / 4, 10, 20, 30);
  }
  std::vector<double> requests;
};

class VideoThumbnailGeneratorTest : public ::testing::Test {
 protected:
  VideoThumbnailGeneratorTest() {
    platform::SetDefaultAssetImageGenerator(&images);
    queue = fake.dispatcher.CreateSerialQueue("asset queue");
    subscription = center.AddObserver(
        VideoThumbnailGenerator::kFinishNotification,
        [this](const platform::Notification& n) { finished.push_back(n.object.AsPointer()); });
  }
  ~VideoThumbnailGeneratorTest() override { platform::SetDefaultAssetImageGenerator(nullptr); }

  std::string Path(const std::string& name) {
    return fake.environment.TemporaryDirectory() + "/" + name;
  }

  platform::FakePlatform fake;
  FakeImageGenerator images;
  std::shared_ptr<platform::DispatchQueue> queue;
  platform::NotificationCenter center;
  platform::NotificationCenter::Subscription subscription;
  std::vector<void*> finished;
};

TEST_F(VideoThumbnailGeneratorTest, ARecorderThumbnailIsUsedAsItIs) {
  const std::string movie = Path("a_videoV.mov");
  ASSERT_TRUE(platform::DefaultFileSystem().WriteFileAtomically(movie + ".jpg", "jpeg"));
  VideoThumbnailGenerator generator(queue, movie, &center);
  EXPECT_EQ(generator.FetchThumbnailPath(), movie + ".jpg");
  generator.StartGenerateThumbnail();
  fake.dispatcher.RunUntilIdle();
  EXPECT_TRUE(finished.empty());
  EXPECT_TRUE(images.requests.empty());
}

TEST_F(VideoThumbnailGeneratorTest, WithoutOneThePictureAtTwoSecondsIsSavedAsPng) {
  const std::string movie = Path("b_videoV.mov");
  VideoThumbnailGenerator generator(queue, movie, &center);
  VideoThumbnailGenerator::SetBundlePath("/app");
  EXPECT_EQ(generator.FetchThumbnailPath(), "/app/DefaultThumbnail.png");
  generator.StartGenerateThumbnail();
  fake.dispatcher.RunUntilIdle();
  EXPECT_EQ(images.requests, (std::vector<double>{2.0}));
  ASSERT_EQ(finished, (std::vector<void*>{&generator}));
  auto data = platform::DefaultFileSystem().ReadFile(movie + ".jpg");
  ASSERT_TRUE(data);
  EXPECT_EQ(platform::SniffImageFormat(*data), platform::ImageFormat::kPng);
  auto image = platform::DefaultImageCodec().Decode(*data);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->width, 100);
  EXPECT_EQ(generator.FetchThumbnailPath(), movie + ".jpg");
  // Once it exists, later generators do nothing.
  VideoThumbnailGenerator again(queue, movie, &center);
  again.StartGenerateThumbnail();
  fake.dispatcher.RunUntilIdle();
  EXPECT_EQ(finished.size(), 1u);
}

TEST_F(VideoThumbnailGeneratorTest, AudioOnlyFilesGetNoThumbnailAndNoNotification) {
  const std::string movie = Path("c_soundA.mov");
  VideoThumbnailGenerator generator(queue, movie, &center);
  generator.StartGenerateThumbnail();
  fake.dispatcher.RunUntilIdle();
  EXPECT_TRUE(finished.empty());
  EXPECT_FALSE(generator.HasCacheThumbnail());
  EXPECT_EQ(generator.FetchThumbnailPath(), VideoThumbnailGenerator::DefaultThumbnailPath());
}

}  // namespace
}  // namespace capture
