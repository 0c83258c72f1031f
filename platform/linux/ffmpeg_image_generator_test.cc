#include "platform/linux/ffmpeg_image_generator.h"

#include <gtest/gtest.h>

#include "platform/testing/fake_environment.h"
#include "platform/testing/media_probe.h"
#include "platform/testing/subprocess.h"

namespace platform {
namespace {

class FfmpegImageGeneratorTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = MakeTempDirectory("image-generator"); }
  void TearDown() override { RemoveTree(dir_); }

  // A movie made by the ffmpeg tool: red for the first second, then blue.
  std::string MakeMovie(const std::string& name, const std::string& extra = "") {
    const std::string path = dir_ + "/" + name;
    std::vector<std::string> argv{ToolPath("ffmpeg"),
                                  "-nostdin",
                                  "-v",
                                  "error",
                                  "-f",
                                  "lavfi",
                                  "-i",
                                  "color=red:s=320x240:r=10:d=1",
                                  "-f",
                                  "lavfi",
                                  "-i",
                                  "color=blue:s=320x240:r=10:d=3",
                                  "-filter_complex",
                                  "[0][1]concat=n=2:v=1[v]",
                                  "-map",
                                  "[v]",
                                  "-c:v",
                                  "libx264",
                                  "-pix_fmt",
                                  "yuv420p"};
    if (!extra.empty()) {
      argv.push_back("-metadata:s:v");
      argv.push_back(extra);
    }
    argv.push_back(path);
    EXPECT_EQ(RunProgram(argv), 0);
    return path;
  }

  FfmpegImageGenerator generator_;
  std::string dir_;
};

TEST_F(FfmpegImageGeneratorTest, ThePictureAtTwoSecondsFitsTheSize) {
  const std::string movie = MakeMovie("movie.mp4");
  EXPECT_TRUE(generator_.HasVideoTrack(movie));
  auto image = generator_.CopyImageAt(movie, 2.0, 100, 100);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->width, 100);
  EXPECT_EQ(image->height, 75);
  const uint8_t* p = image->pixel(50, 37);
  EXPECT_GT(p[2], 200);  // blue: the second part
  EXPECT_LT(p[0], 60);
  // Beyond the end: the last picture.
  EXPECT_TRUE(generator_.CopyImageAt(movie, 60.0, 100, 100));
}

TEST_F(FfmpegImageGeneratorTest, NoVideoNoPicture) {
  const std::string audio = dir_ + "/tone.m4a";
  ASSERT_EQ(RunProgram({ToolPath("ffmpeg"), "-nostdin", "-v", "error", "-f", "lavfi", "-i",
                        "sine=d=1", audio}),
            0);
  EXPECT_FALSE(generator_.HasVideoTrack(audio));
  std::string error;
  EXPECT_FALSE(generator_.CopyImageAt(audio, 2.0, 100, 100, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(generator_.HasVideoTrack(dir_ + "/missing.mov"));
  EXPECT_FALSE(generator_.CopyImageAt(dir_ + "/missing.mov", 2.0, 100, 100));
}

TEST(RotateImageTest, QuarterTurnsMoveTheCorners) {
  Image image = Image::Filled(3, 2, 0, 0, 0);
  image.pixel(0, 0)[0] = 1;  // top left
  Image ccw = RotateImage(image, 90);
  ASSERT_EQ(ccw.width, 2);
  ASSERT_EQ(ccw.height, 3);
  EXPECT_EQ(ccw.pixel(0, 2)[0], 1);  // top left goes to bottom left
  EXPECT_EQ(RotateImage(image, 180).pixel(2, 1)[0], 1);
  EXPECT_EQ(RotateImage(image, 270).pixel(1, 0)[0], 1);
}

}  // namespace
}  // namespace platform
