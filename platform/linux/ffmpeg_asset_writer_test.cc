// What the FFmpeg asset writer makes, as ffprobe, ffmpeg and a reader of the
// growing file see it.
#include "platform/linux/ffmpeg_asset_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <fstream>

#include "platform/test_picture.h"
#include "platform/testing/fake_environment.h"
#include "platform/testing/media_probe.h"
#include "platform/testing/subprocess.h"

namespace platform {
namespace {

constexpr int64_t kStartUs = 5000000;
constexpr int64_t kWallMs = 1718000000000;

class FfmpegAssetWriterTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = MakeTempDirectory("asset-writer"); }
  void TearDown() override { RemoveTree(dir_); }

  std::unique_ptr<AssetWriter> Create(const std::string& name) {
    std::string error;
    auto writer = factory_.CreateWriter(dir_ + "/" + name, &error);
    EXPECT_TRUE(writer) << error;
    return writer;
  }

  static uint64_t FileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
  }

  FfmpegAssetWriterFactory factory_;
  std::string dir_;
};

// The NAL unit types of every sample in the media data, walking the 4-byte
// length prefixes from the start of 'mdat' to its end.
std::vector<int> NalTypes(const std::string& data) {
  std::vector<int> types;
  for (const Box& box : TopLevelBoxes(data)) {
    if (box.type != "mdat") continue;
    uint64_t at = box.offset + 8, end = box.offset + box.size;
    while (at + 4 <= end) {
      uint32_t length =
          (static_cast<uint8_t>(data[at]) << 24) | (static_cast<uint8_t>(data[at + 1]) << 16) |
          (static_cast<uint8_t>(data[at + 2]) << 8) | static_cast<uint8_t>(data[at + 3]);
      if (length == 0 || at + 4 + length > end) break;
      types.push_back(static_cast<uint8_t>(data[at + 4]) & 0x1F);
      at += 4 + length;
    }
  }
  return types;
}

TEST_F(FfmpegAssetWriterTest, VideoGrowsSampleBySampleAndDecodesAsH264) {
  auto writer = Create("video.mov");
  ASSERT_TRUE(writer->AddVideoInput(VideoOutputSettings{}));
  EXPECT_FALSE(writer->AddAudioInput(AudioOutputSettings{}));  // one input a writer
  EXPECT_EQ(writer->status(), AssetWriterStatus::kUnknown);
  EXPECT_EQ(FileSize(writer->output_path()), 0u);  // the file comes with writing
  ASSERT_TRUE(writer->StartWriting()) << writer->error();
  writer->StartSession(kStartUs);

  constexpr int kFrames = 25;
  uint64_t last_size = FileSize(writer->output_path());
  for (int i = 0; i < kFrames; ++i) {
    // A 16:9 camera: the writer crops to 4:3.
    VideoFrame frame = VideoFrame::Allocate(1280, 720);
    VideoFrame picture = VideoFrame::Allocate(960, 720);
    DrawTestPicture(picture, kWallMs + i * 100);
    for (int y = 0; y < 720; ++y) {
      std::copy_n(picture.y() + y * 960, 960, frame.y() + y * 1280 + 160);
      if (y % 2 == 0)
        std::copy_n(picture.uv() + (y / 2) * 960, 960, frame.uv() + (y / 2) * 1280 + 160);
    }
    frame.pts_us = kStartUs + i * 100000;
    ASSERT_TRUE(writer->IsReadyForMoreMediaData());
    ASSERT_TRUE(writer->AppendVideo(frame)) << writer->error();
    // Each sample is in the file as soon as Append returns.
    const uint64_t size = FileSize(writer->output_path());
    EXPECT_GT(size, last_size) << "frame " << i;
    last_size = size;
    const std::string data = ReadWholeFile(writer->output_path());
    bool mdat = false, moov = false;
    for (const Box& box : TopLevelBoxes(data)) {
      mdat |= box.type == "mdat";
      moov |= box.type == "moov";
    }
    EXPECT_TRUE(mdat);
    EXPECT_FALSE(moov);
  }
  ASSERT_TRUE(writer->FinishWriting()) << writer->error();
  EXPECT_EQ(writer->status(), AssetWriterStatus::kCompleted);

  const std::string path = dir_ + "/video.mov";
  auto boxes = TopLevelBoxes(ReadWholeFile(path));
  ASSERT_GE(boxes.size(), 2u);
  EXPECT_EQ(boxes.back().type, "moov");  // right after the media data
  EXPECT_EQ(boxes[boxes.size() - 2].type, "mdat");

  auto streams = ProbeStreams(path);
  ASSERT_EQ(streams.size(), 1u);
  EXPECT_EQ(streams[0]["codec_name"], "h264");
  EXPECT_EQ(streams[0]["width"], "480");
  EXPECT_EQ(streams[0]["height"], "360");
  EXPECT_EQ(streams[0]["avg_frame_rate"], "10/1");
  EXPECT_EQ(streams[0]["has_b_frames"], "0");
  EXPECT_EQ(streams[0]["nb_frames"], std::to_string(kFrames));
  std::string errors;
  EXPECT_TRUE(DecodesCleanly(path, &errors)) << errors;

  // One slice a sample and no SEI: the reader of the growing file counts slices.
  auto types = NalTypes(ReadWholeFile(path));
  ASSERT_EQ(types.size(), static_cast<size_t>(kFrames)) << ::testing::PrintToString(types);
  EXPECT_EQ(types[0], 5);
  for (int t : types) EXPECT_TRUE(t == 1 || t == 5) << t;

  // The capture times read back from what ffmpeg decodes.
  auto frames = DecodeLuma(path, 480, 360);
  ASSERT_EQ(frames.size(), static_cast<size_t>(kFrames));
  int read = 0;
  for (int i = 0; i < kFrames; ++i) {
    auto t = ReadTestPictureTime(frames[i].data(), 480, 360, 480);
    if (t) {
      EXPECT_EQ(*t, kWallMs + i * 100);
      ++read;
    }
  }
  EXPECT_GE(read, kFrames - 2);
}

TEST_F(FfmpegAssetWriterTest, AudioIsAacLcMono22050) {
  auto writer = Create("audio.mov");
  ASSERT_TRUE(writer->AddAudioInput(AudioOutputSettings{}));
  ASSERT_TRUE(writer->StartWriting());
  writer->StartSession(kStartUs);
  constexpr int kRate = 44100, kBlock = 1024;
  int64_t produced = 0;
  while (produced < 2 * kRate) {
    auto samples = std::make_shared<std::vector<int16_t>>(kBlock);
    for (int i = 0; i < kBlock; ++i) {
      (*samples)[i] =
          static_cast<int16_t>(6000 * std::sin(2 * M_PI * 440 * (produced + i) / kRate));
    }
    AudioSamples block{kRate, 1, kStartUs + produced * 1000000 / kRate, samples};
    ASSERT_TRUE(writer->AppendAudio(block)) << writer->error();
    produced += kBlock;
  }
  ASSERT_TRUE(writer->FinishWriting()) << writer->error();
  const std::string path = dir_ + "/audio.mov";
  auto streams = ProbeStreams(path);
  ASSERT_EQ(streams.size(), 1u);
  EXPECT_EQ(streams[0]["codec_name"], "aac");
  EXPECT_EQ(streams[0]["profile"], "LC");
  EXPECT_EQ(streams[0]["channels"], "1");
  EXPECT_EQ(streams[0]["sample_rate"], "22050");
  EXPECT_NEAR(std::stod(streams[0]["duration"]), 2.0, 0.15);
  std::string errors;
  EXPECT_TRUE(DecodesCleanly(path, &errors)) << errors;
}

TEST_F(FfmpegAssetWriterTest, RotationBecomesTheTrackTransform) {
  auto writer = Create("portrait.mov");
  VideoOutputSettings settings;
  settings.rotation_radians = M_PI_2;
  ASSERT_TRUE(writer->AddVideoInput(settings));
  ASSERT_TRUE(writer->StartWriting());
  writer->StartSession(0);
  for (int i = 0; i < 3; ++i) {
    VideoFrame frame = VideoFrame::Allocate(640, 480);
    frame.pts_us = i * 100000;
    ASSERT_TRUE(writer->AppendVideo(frame));
  }
  ASSERT_TRUE(writer->FinishWriting());
  std::string out, err;
  RunProgram({ToolPath("ffprobe"), "-v", "error", "-show_entries", "stream_side_data=rotation",
              "-of", "default=nw=1", dir_ + "/portrait.mov"},
             &out, &err);
  EXPECT_NE(out.find("rotation=-90"), std::string::npos) << out << err;
}

TEST_F(FfmpegAssetWriterTest, MisuseFailsWithAnError) {
  std::string error;
  EXPECT_FALSE(factory_.CreateWriter(dir_ + "/missing/x.mov", &error));
  EXPECT_NE(error.find("no directory"), std::string::npos);
  { std::ofstream(dir_ + "/taken.mov") << "x"; }
  EXPECT_FALSE(factory_.CreateWriter(dir_ + "/taken.mov", &error));
  EXPECT_NE(error.find("exists"), std::string::npos);

  auto writer = Create("never.mov");
  EXPECT_FALSE(writer->StartWriting());  // no input
  EXPECT_FALSE(writer->AddVideoInput(VideoOutputSettings{481, 360}));
  ASSERT_TRUE(writer->AddVideoInput(VideoOutputSettings{}));
  EXPECT_FALSE(writer->AppendVideo(VideoFrame::Allocate(64, 48)));  // not writing
  EXPECT_FALSE(writer->FinishWriting());
  writer->CancelWriting();
  EXPECT_EQ(writer->status(), AssetWriterStatus::kCancelled);
}

}  // namespace
}  // namespace platform
