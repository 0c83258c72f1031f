// selvo segment end to end: recordings made by ffmpeg in, pieces out, checked by decoding
// them with ffmpeg.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/testing/media_tools.h"
#include "engine/testing/temp_dir.h"
#include "engine/testing/ts_parser.h"

namespace {

using namespace selvo::testing;

struct Pieces {
  std::vector<std::string> names;
  std::string joined;  // all pieces in order, as one file
};

CommandResult Segment(const std::string& arguments) {
  return RunShell(Quote(BinDir() + "/selvo") + " segment " + arguments);
}

Pieces Collect(const std::string& directory, const std::string& joined) {
  Pieces pieces;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    pieces.names.push_back(entry.path().filename().string());
  }
  std::sort(pieces.names.begin(), pieces.names.end());
  std::ofstream out(joined, std::ios::binary);
  for (const std::string& name : pieces.names) {
    std::ifstream in(directory + "/" + name, std::ios::binary);
    out << in.rdbuf();
  }
  pieces.joined = joined;
  return pieces;
}

// The pieces' names: 000001-01.ts, ..., 000001-10.ts, 000002-01.ts, ...
void ExpectNumbered(const std::vector<std::string>& names) {
  for (size_t i = 0; i < names.size(); ++i) {
    char expected[32];
    std::snprintf(expected, sizeof(expected), "%06zu-%02zu.ts", 1 + i / 10, 1 + i % 10);
    EXPECT_EQ(names[i], expected);
  }
}

// `copy` must equal the start of `source`, missing at most `slack` items at its end.
void ExpectPrefix(const std::vector<std::string>& copy, const std::vector<std::string>& source,
                  size_t slack, const std::string& what) {
  ASSERT_FALSE(source.empty()) << what;
  ASSERT_LE(copy.size(), source.size()) << what;
  EXPECT_GE(copy.size() + slack, source.size()) << what << ": too much missing at the end";
  for (size_t i = 0; i < copy.size(); ++i) ASSERT_EQ(copy[i], source[i]) << what << " frame " << i;
}

// Window sequence of each ADTS frame's channel element (after a leading fill element).
std::vector<int> WindowSequences(const std::vector<uint8_t>& adts) {
  std::vector<int> windows;
  for (size_t at = 0; at + 9 < adts.size();) {
    const size_t length = ((adts[at + 3] & 3u) << 11) | (adts[at + 4] << 3) | (adts[at + 5] >> 5);
    size_t bit = (at + 7) * 8;
    auto read = [&](int n) {
      uint32_t v = 0;
      for (int i = 0; i < n; ++i, ++bit) v = (v << 1) | ((adts[bit / 8] >> (7 - bit % 8)) & 1);
      return v;
    };
    uint32_t id = read(3);
    if (id == 6) {
      uint32_t count = read(4);
      if (count == 15) count += read(8) - 1;
      bit += count * 8;
      id = read(3);
    }
    if (id == 0) {
      read(4 + 8 + 1);
      windows.push_back(static_cast<int>(read(2)));
    }
    at += length;
  }
  return windows;
}

struct EquivalenceCase {
  std::string video;  // "" for a voice message
  std::string audio;
  int audio_rate;
};

class SegmentEquivalenceTest : public ::testing::TestWithParam<EquivalenceCase> {};

TEST_P(SegmentEquivalenceTest, PiecesDecodeToTheRecordedFrames) {
  const EquivalenceCase& c = GetParam();
  const std::string video = c.video.empty() ? "" : Recording(c.video);
  const std::string audio = Recording(c.audio);
  ASSERT_FALSE(audio.empty());
  ASSERT_TRUE(c.video.empty() || !video.empty());
  TempDir dir;
  const std::string out = dir.File("pieces");
  const CommandResult run = Segment((video.empty() ? "" : "--video " + Quote(video) + " ") +
                                    "--audio " + Quote(audio) + " --out " + Quote(out));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const Pieces pieces = Collect(out, dir.File("all.ts"));
  ASSERT_FALSE(pieces.names.empty());
  ExpectNumbered(pieces.names);

  // ffmpeg decodes everything without a word at level warning.
  const CommandResult decode =
      RunShell("ffmpeg -nostdin -v warning -i " + Quote(pieces.joined) + " -f null -");
  EXPECT_EQ(decode.status, 0);
  EXPECT_EQ(decode.err, "");

  // The same video frames and AAC frames as the recordings; the pass ends with the shorter
  // stream, so up to half a second may be missing at the end.
  std::string warnings;
  if (!video.empty()) {
    const auto ours = FrameHashes("-i " + Quote(pieces.joined) + " -map 0:v", &warnings);
    EXPECT_EQ(warnings, "");
    ExpectPrefix(ours, FrameHashes("-i " + Quote(video) + " -map 0:v"), 5, "video");
  }
  const auto ours = FrameHashes(
      "-i " + Quote(pieces.joined) + " -map 0:a -c copy -bsf:a aac_adtstoasc", &warnings);
  EXPECT_EQ(warnings, "");
  ExpectPrefix(ours, FrameHashes("-i " + Quote(audio) + " -map 0:a -c copy"),
               static_cast<size_t>(c.audio_rate / 2 / 1024 + 1), "audio");

  // Continuity counters never jump; timestamps rise steadily from 0.
  std::ifstream in(pieces.joined, std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
  std::string error;
  const auto pes = CollectPes(ParseTs(bytes, &error), &error);
  ASSERT_EQ(error, "");
  uint64_t video_pts = 0;
  size_t video_count = 0;
  int64_t audio_pts = -1;
  std::vector<uint8_t> adts;
  for (const Pes& p : pes) {
    if (p.pid == 0x0100) {
      EXPECT_EQ(p.pts, video_pts) << "video PES " << video_count;
      video_pts += 9000;
      ++video_count;
    } else {
      if (audio_pts < 0) {
        EXPECT_EQ(p.pts, 0u);
      }
      EXPECT_GT(static_cast<int64_t>(p.pts), audio_pts);
      audio_pts = static_cast<int64_t>(p.pts);
      adts.insert(adts.end(), p.payload.begin(), p.payload.end());
    }
  }
  if (c.audio == "audio-transients") {
    const std::vector<int> windows = WindowSequences(adts);
    EXPECT_GT(std::count(windows.begin(), windows.end(), 2), 5) << "no short windows walked";
  }
}

INSTANTIATE_TEST_SUITE_P(Recordings, SegmentEquivalenceTest,
                         ::testing::Values(EquivalenceCase{"video-3s", "audio-3s", 22050},
                                           EquivalenceCase{"video-short", "audio-short", 22050},
                                           EquivalenceCase{"video-12s", "audio-12s", 22050},
                                           EquivalenceCase{"video-slices", "audio-3s", 22050},
                                           EquivalenceCase{"video-3s", "audio-44100", 44100},
                                           EquivalenceCase{"video-3s", "audio-48000", 48000},
                                           EquivalenceCase{"video-3s", "audio-16000", 16000},
                                           EquivalenceCase{"video-3s", "audio-8000", 8000},
                                           EquivalenceCase{"video-3s", "audio-transients", 22050},
                                           EquivalenceCase{"", "audio-3s", 22050},
                                           EquivalenceCase{"", "audio-transients", 22050}),
                         [](const ::testing::TestParamInfo<EquivalenceCase>& param_info) {
                           const EquivalenceCase& c = param_info.param;
                           std::string name =
                               (c.video.empty() ? "voice_" : c.video + "_") + c.audio;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

// Offsets and sizes of a recording's samples, from ffprobe.
std::vector<std::pair<size_t, size_t>> Samples(const std::string& path) {
  const CommandResult probe =
      RunShell("ffprobe -v error -show_entries packet=pos,size -of csv=p=0 " + Quote(path));
  std::vector<std::pair<size_t, size_t>> samples;
  std::istringstream lines(probe.out);
  std::string line;
  while (std::getline(lines, line)) {
    size_t size = 0;
    size_t pos = 0;
    if (std::sscanf(line.c_str(), "%zu,%zu", &size, &pos) == 2) samples.emplace_back(pos, size);
  }
  return samples;
}

TEST(SegmentCommandTest, ADamagedAudioFrameCostsOnlyItsOwnTime) {
  const std::string video = Recording("video-3s");
  const std::string audio = Recording("audio-3s");
  ASSERT_FALSE(video.empty() || audio.empty());
  TempDir dir;
  const auto samples = Samples(audio);
  ASSERT_GT(samples.size(), 60u);
  // Frame 30's middle is overwritten.
  std::vector<uint8_t> bytes = ReadFile(audio);
  const auto [offset, size] = samples[30];
  for (size_t i = offset + size / 3; i < offset + size / 3 + 12; ++i) bytes[i] ^= 0x5A;
  const std::string damaged = dir.File("damaged.mov");
  WriteFile(damaged, bytes);

  const std::string out = dir.File("pieces");
  const CommandResult run = Segment("--video " + Quote(video) + " --audio " + Quote(damaged) +
                                    " --audio-sample " + Quote(audio) + " --out " + Quote(out));
  ASSERT_EQ(run.status, 0) << run.err;
  const Pieces pieces = Collect(out, dir.File("all.ts"));
  const auto ours =
      FrameHashes("-i " + Quote(pieces.joined) + " -map 0:a -c copy -bsf:a aac_adtstoasc");
  const auto source = FrameHashes("-i " + Quote(audio) + " -map 0:a -c copy");
  ASSERT_GT(ours.size(), 40u);
  // Everything before the damage passes through; at most two frames of time differ; from
  // at most three frames after the damage on, every frame passes through bit-exact.
  for (size_t i = 0; i < 30; ++i) EXPECT_EQ(ours[i], source[i]) << i;
  EXPECT_LE(std::max(ours.size(), source.size()) - std::min(ours.size(), source.size()), 2u);
  bool resynchronised = false;
  for (size_t skip = 31; skip <= 33 && !resynchronised; ++skip) {
    const size_t tail = source.size() - skip;
    resynchronised =
        tail <= ours.size() && std::equal(source.begin() + static_cast<long>(skip), source.end(),
                                          ours.end() - static_cast<long>(tail));
  }
  EXPECT_TRUE(resynchronised);
}

TEST(SegmentCommandTest, BadInputFailsWithOneLineAndLeavesNothing) {
  const std::string video = Recording("video-3s");
  const std::string audio = Recording("audio-3s");
  ASSERT_FALSE(video.empty() || audio.empty());
  TempDir dir;
  WriteFile(dir.File("noise.mov"), std::vector<uint8_t>(5000, 0x33));
  // A video recording whose fifth frame claims 2 GiB.
  std::vector<uint8_t> absurd = ReadFile(video);
  const auto samples = Samples(video);
  ASSERT_GT(samples.size(), 5u);
  for (int i = 0; i < 4; ++i)
    absurd[samples[5].first + static_cast<size_t>(i)] = i == 0 ? 0x7F : 0xF0;
  WriteFile(dir.File("absurd.mov"), absurd);
  WriteFile(dir.File("out-with-pieces/000001-01.ts"), {});
  std::filesystem::create_directories(dir.File("out-with-pieces"));
  WriteFile(dir.File("out-with-pieces/000001-01.ts"), {0x47});

  struct Case {
    std::string name;
    std::string arguments;
    int status;
  };
  const std::string out = dir.File("pieces");
  const Case cases[] = {
      {"no audio", "--video " + Quote(video) + " --out " + Quote(out), 2},
      {"no output directory", "--audio " + Quote(audio), 2},
      {"unknown option", "--audio " + Quote(audio) + " --out " + Quote(out) + " --fast", 2},
      {"frame rate 0", "--audio " + Quote(audio) + " --out " + Quote(out) + " --frame-rate 0", 2},
      {"missing recording", "--audio " + Quote(dir.File("missing.mov")) + " --out " + Quote(out),
       1},
      {"not a recording", "--audio " + Quote(dir.File("noise.mov")) + " --out " + Quote(out), 1},
      {"video sample that is audio",
       "--video " + Quote(video) + " --video-sample " + Quote(audio) + " --audio " + Quote(audio) +
           " --out " + Quote(out),
       1},
      {"a NAL unit of 2 GiB",
       "--video " + Quote(dir.File("absurd.mov")) + " --video-sample " + Quote(video) +
           " --audio " + Quote(audio) + " --out " + Quote(out),
       1},
      {"a directory that is not empty",
       "--audio " + Quote(audio) + " --out " + Quote(dir.File("out-with-pieces")), 1},
  };
  for (const Case& c : cases) {
    const CommandResult run = Segment(c.arguments);
    EXPECT_EQ(run.status, c.status) << c.name;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << c.name << ": " << run.err;
    EXPECT_EQ(run.err.rfind("selvo: ", 0), 0u) << c.name << ": " << run.err;
    EXPECT_FALSE(std::filesystem::exists(out)) << c.name;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
      EXPECT_EQ(entry.path().filename().string().find(".partial"), std::string::npos) << c.name;
    }
  }
}

TEST(SegmentCommandTest, ATruncatedRecordingGivesWhatItHolds) {
  // A recording cut short by a crash (no index), with the sample files beside it.
  const std::string video = Recording("video-3s");
  const std::string audio = Recording("audio-3s");
  ASSERT_FALSE(video.empty() || audio.empty());
  TempDir dir;
  std::vector<uint8_t> bytes = ReadFile(video);
  bytes.resize(bytes.size() / 2);
  WriteFile(dir.File("cut.mov"), bytes);
  const std::string out = dir.File("pieces");
  const CommandResult run =
      Segment("--video " + Quote(dir.File("cut.mov")) + " --video-sample " + Quote(video) +
              " --audio " + Quote(audio) + " --out " + Quote(out));
  ASSERT_EQ(run.status, 0) << run.err;
  const Pieces pieces = Collect(out, dir.File("all.ts"));
  const auto ours = FrameHashes("-i " + Quote(pieces.joined) + " -map 0:v");
  const auto source = FrameHashes("-i " + Quote(video) + " -map 0:v");
  ASSERT_GE(ours.size(), 10u);
  ExpectPrefix(ours, source, source.size(), "video");
}

}  // namespace
