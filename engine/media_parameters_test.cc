#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/media_segmenter.h"
#include "engine/testing/box_builder.h"
#include "engine/testing/temp_dir.h"

namespace selvo {
namespace {

using namespace selvo::testing;

const Bytes kSps = {0x67, 0x42, 0xC0, 0x1E, 0xDA, 0x02};
const Bytes kPps = {0x68, 0xCE, 0x3C, 0x80};

Bytes AudioSample(const Bytes& entry, uint32_t delta = 1024, uint32_t entry_count = 1) {
  const Bytes track = Track("soun", Cat({Stsd(entry, entry_count), Stts(43, delta)}));
  return Cat({Ftyp(), Box("wide", {}), Box("mdat", Zeros(64)), Box("moov", track)});
}

// A video sample whose first sample is `first_sample` (NAL units with lengths).
Bytes VideoSample(const Bytes& first_sample, const Bytes& stsz, const Bytes& entry,
                  bool large_mdat = false) {
  const Bytes mdat_payload = Cat({first_sample, Nal(0x41, 30)});
  const Bytes mdat = large_mdat ? LargeBox("mdat", mdat_payload) : Box("mdat", mdat_payload);
  const Bytes track = Track("vide", Cat({Stsd(entry), stsz}));
  return Cat({Ftyp(), Box("wide", {}), mdat, Box("moov", track)});
}

Bytes VideoSample(const Bytes& first_sample) {
  return VideoSample(first_sample, Stsz({static_cast<uint32_t>(first_sample.size()), 35}),
                     AvcEntry(kSps, kPps));
}

class MediaParametersTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const Bytes& bytes) {
    const std::string path = dir_.File(name);
    WriteFile(path, bytes);
    return path;
  }
  TempDir dir_;
};

TEST_F(MediaParametersTest, ReadsAacParametersForEveryRate) {
  struct Case {
    uint16_t rate;
    uint32_t delta;
    uint16_t index;
    uint32_t duration;
  };
  const Case cases[] = {
      {22050, 1024, 7, 46439},
      {44100, 1024, 4, 23219},
      {48000, 1024, 3, 21333},
      {16000, 1024, 8, 64000},
      {8000, 1024, 11, 128000},
      {64000, 1024, 2, 16000},
      {11025, 960, 10, 87074},
      // 7350 Hz is index 12 of the rate table, and its ADTS index must say so.
      {7350, 1024, 12, 139319},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rate);
    const std::string path =
        Write("audio.mov", AudioSample(SoundEntry("mp4a", 1, 16, c.rate), c.delta));
    MediaSegmenter segmenter;
    ASSERT_EQ(segmenter.InitMediaParameters(path.c_str()), 1);
    EXPECT_EQ(segmenter.audio_channels(), 1);
    EXPECT_EQ(segmenter.audio_sampling_index(), c.index);
    EXPECT_EQ(segmenter.audio_bytes_per_frame(), c.delta * 2);
    EXPECT_EQ(segmenter.audio_frame_duration(), c.duration);
    EXPECT_EQ(CheckAudioSampleFile(path.c_str()), 1);
  }
}

TEST_F(MediaParametersTest, RefusesAudioSamplesItCannotStream) {
  struct Case {
    std::string name;
    Bytes file;
  };
  const Case cases[] = {
      {"AMR", AudioSample(SoundEntry("samr", 1, 16, 8000))},
      {"a rate outside the AAC table", AudioSample(SoundEntry("mp4a", 1, 16, 22000))},
      {"rate 0", AudioSample(SoundEntry("mp4a", 1, 16, 0))},
      {"two sample entries", AudioSample(SoundEntry("mp4a", 1, 16, 22050), 1024, 2)},
      {"no sound track", VideoSample(Nal(0x65, 20))},
      {"no index", Cat({Ftyp(), Box("mdat", Zeros(10))})},
      {"truncated entry", Truncated(AudioSample(SoundEntry("mp4a", 1, 16, 22050)), 150)},
      {"empty stts",
       Cat({Ftyp(), Box("moov", Track("soun", Cat({Stsd(SoundEntry("mp4a", 1, 16, 22050)),
                                                   FullBox("stts", U32(0))})))})},
  };
  for (const Case& c : cases) {
    const std::string path = Write("audio.mov", c.file);
    MediaSegmenter segmenter;
    EXPECT_EQ(segmenter.InitMediaParameters(path.c_str()), 0) << c.name;
  }
  MediaSegmenter segmenter;
  EXPECT_EQ(segmenter.InitMediaParameters(dir_.File("missing.mov").c_str()), 0);
}

TEST_F(MediaParametersTest, CountsSlicesOfTheFirstFrame) {
  struct Case {
    std::string name;
    Bytes first_sample;
    uint32_t slices;
  };
  const Case cases[] = {
      {"IDR", Nal(0x65, 40), 1},
      // What libx264 writes first: SEI, then the IDR slice. Only the slice counts.
      {"SEI + IDR", Cat({Nal(0x06, 12), Nal(0x65, 40)}), 1},
      {"two slices", Cat({Nal(0x06, 12), Nal(0x65, 20), Nal(0x65, 20)}), 2},
      {"in-band parameter sets", Cat({Nal(0x67, 5), Nal(0x68, 3), Nal(0x65, 9)}), 1},
      {"empty NAL unit", Cat({U32(0), Nal(0x65, 9)}), 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string video = Write("video.mov", VideoSample(c.first_sample));
    const std::string audio = Write("audio.mov", AudioSample(SoundEntry("mp4a", 1, 16, 22050)));
    MediaSegmenter segmenter;
    bool is_amr = true;
    ASSERT_EQ(segmenter.InitMediaParameters(10, video.c_str(), audio.c_str(), &is_amr), 1);
    EXPECT_FALSE(is_amr);
    EXPECT_EQ(segmenter.nal_per_frame(), c.slices);
    EXPECT_EQ(segmenter.sps(), Cat({Bytes{0, 0, 0, 1}, kSps}));
    EXPECT_EQ(segmenter.pps(), Cat({Bytes{0, 0, 0, 1}, kPps}));
    EXPECT_EQ(segmenter.video_frame_rate(), 10u);
    EXPECT_EQ(segmenter.video_frame_duration(), 100000u);
    EXPECT_EQ(CheckMediaSampleFiles(10, video.c_str(), audio.c_str()), 1);
  }
}

TEST_F(MediaParametersTest, ReadsA64BitMediaBox) {
  const Bytes first = Nal(0x65, 40);
  const std::string video =
      Write("video.mov", VideoSample(first, Stsz({static_cast<uint32_t>(first.size()), 35}),
                                     AvcEntry(kSps, kPps), /*large_mdat=*/true));
  MediaSegmenter segmenter;
  bool is_amr = false;
  EXPECT_EQ(segmenter.InitMediaParameters(15, video.c_str(), "", &is_amr), 1);
  EXPECT_TRUE(is_amr);  // no audio sample: the task streams video only
  EXPECT_EQ(segmenter.video_frame_duration(), 66666u);
  EXPECT_EQ(CheckMediaSampleFiles(15, video.c_str(), ""), 0);
}

TEST_F(MediaParametersTest, RefusesVideoSamplesItCannotStream) {
  const Bytes first = Nal(0x65, 40);
  const uint32_t size = static_cast<uint32_t>(first.size());
  struct Case {
    std::string name;
    Bytes file;
  };
  const Case cases[] = {
      {"constant sample size", VideoSample(first, Stsz({}, size), AvcEntry(kSps, kPps))},
      {"2-byte NAL lengths", VideoSample(first, Stsz({size, 35}), AvcEntry(kSps, kPps, 0xFD))},
      {"no avcC", VideoSample(first, Stsz({size, 35}), AvcEntry(kSps, kPps, 0xFF, "btrt"))},
      {"first sample shorter than its NAL units",
       VideoSample(first, Stsz({size - 1, 35}), AvcEntry(kSps, kPps))},
      {"only an SEI", VideoSample(Nal(0x06, 10), Stsz({15, 35}), AvcEntry(kSps, kPps))},
      {"NAL length past the media data",
       VideoSample(Cat({U32(0xFFFFFFF0), Bytes{0x65}}), Stsz({0xFFFFFFFF}), AvcEntry(kSps, kPps))},
      {"no video track", AudioSample(SoundEntry("mp4a", 1, 16, 22050))},
      {"truncated index", Truncated(VideoSample(first), 200)},
  };
  const std::string audio = Write("audio.mov", AudioSample(SoundEntry("mp4a", 1, 16, 22050)));
  for (const Case& c : cases) {
    const std::string video = Write("video.mov", c.file);
    MediaSegmenter segmenter;
    bool is_amr = true;
    EXPECT_EQ(segmenter.InitMediaParameters(10, video.c_str(), audio.c_str(), &is_amr), 0)
        << c.name;
    EXPECT_FALSE(is_amr) << c.name;
  }
}

TEST_F(MediaParametersTest, AFailedReadKeepsTheParametersItHad) {
  const std::string audio = Write("audio.mov", AudioSample(SoundEntry("mp4a", 1, 16, 22050)));
  const std::string good = Write("good.mov", VideoSample(Nal(0x65, 40)));
  const std::string bad = Write("bad.mov", Truncated(VideoSample(Nal(0x65, 40)), 100));
  MediaSegmenter segmenter;
  bool is_amr;
  ASSERT_EQ(segmenter.InitMediaParameters(10, good.c_str(), audio.c_str(), &is_amr), 1);
  EXPECT_EQ(segmenter.InitMediaParameters(10, bad.c_str(), audio.c_str(), &is_amr), 0);
  EXPECT_EQ(segmenter.sps(), Cat({Bytes{0, 0, 0, 1}, kSps}));
  EXPECT_EQ(segmenter.InitMediaParameters(0, good.c_str(), audio.c_str(), &is_amr), 0);
}

}  // namespace
}  // namespace selvo
