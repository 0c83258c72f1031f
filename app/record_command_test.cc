// selvo record as a user runs it: real time, the test camera and microphone
// (or a file made by the ffmpeg tool), files checked with ffprobe and ffmpeg.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/image_codec.h"
#include "platform/test_picture.h"
#include "platform/testing/fake_environment.h"
#include "platform/testing/media_probe.h"
#include "platform/testing/subprocess.h"

namespace app {
namespace {

using platform::Box;
using std::chrono::milliseconds;
using std::chrono::seconds;

int64_t WallMs() {
  return std::chrono::duration_cast<milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

uint64_t FileSize(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

class RecordCommandTest : public ::testing::Test {
 protected:
  void SetUp() override { data_ = platform::MakeTempDirectory("selvo-record"); }
  void TearDown() override { platform::RemoveTree(data_); }

  std::vector<std::string> Selvo(std::vector<std::string> args) {
    std::vector<std::string> argv{platform::BinaryPath("selvo"), "--data-dir", data_, "record"};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
  }

  // Reads output lines until one starts with `prefix`; collects them all.
  std::optional<std::string> LineStarting(platform::Subprocess& p, const std::string& prefix,
                                          std::vector<std::string>& lines, milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      auto line = p.ReadLine(milliseconds(100));
      if (!line) continue;
      lines.push_back(*line);
      if (line->rfind(prefix, 0) == 0) return line->substr(prefix.size());
    }
    return std::nullopt;
  }

  std::string data_;
};

void ExpectVideoFile(const std::string& path, double duration) {
  auto streams = platform::ProbeStreams(path);
  ASSERT_EQ(streams.size(), 1u) << path;
  EXPECT_EQ(streams[0]["codec_type"], "video");
  EXPECT_EQ(streams[0]["codec_name"], "h264");
  EXPECT_EQ(streams[0]["width"], "480");
  EXPECT_EQ(streams[0]["height"], "360");
  EXPECT_EQ(streams[0]["r_frame_rate"], "10/1");
  EXPECT_EQ(streams[0]["has_b_frames"], "0");
  EXPECT_NEAR(std::stod(streams[0]["duration"]), duration, 0.6) << path;
  std::string errors;
  EXPECT_TRUE(platform::DecodesCleanly(path, &errors)) << errors;
}

void ExpectAudioFile(const std::string& path, double duration) {
  auto streams = platform::ProbeStreams(path);
  ASSERT_EQ(streams.size(), 1u) << path;
  EXPECT_EQ(streams[0]["codec_type"], "audio");
  EXPECT_EQ(streams[0]["codec_name"], "aac");
  EXPECT_EQ(streams[0]["profile"], "LC");
  EXPECT_EQ(streams[0]["channels"], "1");
  EXPECT_EQ(streams[0]["sample_rate"], "22050");
  EXPECT_NEAR(std::stod(streams[0]["duration"]), duration, 0.6) << path;
  std::string errors;
  EXPECT_TRUE(platform::DecodesCleanly(path, &errors)) << errors;
}

TEST_F(RecordCommandTest, TestSourceRecordsGrowingFilesWithReadableCaptureTimes) {
  // A fresh data directory: the sample files come first.
  const int64_t before = WallMs();
  platform::Subprocess selvo(Selvo({"--source", "test", "--duration", "3"}));
  std::vector<std::string> lines;
  auto video = LineStarting(selvo, "video: ", lines, seconds(15));
  ASSERT_TRUE(video) << selvo.err();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front().rfind("samples: ", 0), 0u);
  auto audio = LineStarting(selvo, "audio: ", lines, seconds(2));
  ASSERT_TRUE(audio);

  // While it records, the files grow, their media data is there and the movie box is not.
  std::vector<uint64_t> sizes;
  int checked = 0;
  for (int i = 0; i < 25; ++i) {
    std::this_thread::sleep_for(milliseconds(100));
    const std::string data = platform::ReadWholeFile(*video);
    if (data.empty()) continue;
    bool mdat = false, moov = false;
    for (const Box& box : platform::TopLevelBoxes(data)) {
      mdat |= box.type == "mdat";
      moov |= box.type == "moov";
    }
    if (moov) break;  // finished already
    EXPECT_TRUE(mdat);
    sizes.push_back(data.size());
    ++checked;
  }
  ASSERT_GE(checked, 10);
  int rises = 0;
  for (size_t i = 1; i < sizes.size(); ++i) rises += sizes[i] > sizes[i - 1];
  EXPECT_GE(rises, 5) << "the video file did not grow while recording";
  EXPECT_GT(FileSize(*audio), 0u);

  auto status = selvo.Wait(seconds(30));
  ASSERT_EQ(status, 0) << selvo.err();
  const int64_t after = WallMs();
  EXPECT_NE(selvo.out().find("recorded: "), std::string::npos) << selvo.out();
  EXPECT_NE(selvo.err().find("cpu: "), std::string::npos);

  ExpectVideoFile(*video, 3.0);
  ExpectAudioFile(*audio, 3.0);
  ExpectVideoFile(data_ + "/tmp/sample_video.mov", 3.0);
  ExpectAudioFile(data_ + "/tmp/sample_audio.mov", 3.0);

  // The capture time drawn into each picture reads back from the decoded video.
  auto frames = platform::DecodeLuma(*video, 480, 360);
  ASSERT_GE(frames.size(), 25u);
  std::vector<int64_t> times;
  for (const auto& frame : frames) {
    if (auto t = platform::ReadTestPictureTime(frame.data(), 480, 360, 480)) times.push_back(*t);
  }
  EXPECT_GE(times.size(), frames.size() * 9 / 10);
  ASSERT_GE(times.size(), 2u);
  EXPECT_GE(times.front(), before);
  EXPECT_LE(times.back(), after);
  for (size_t i = 1; i < times.size(); ++i) EXPECT_GT(times[i], times[i - 1]);
  const double spacing = static_cast<double>(times.back() - times.front()) / (times.size() - 1);
  EXPECT_NEAR(spacing, 100, 15);

  // The thumbnail is the first picture, and shows its time too.
  auto jpeg = platform::ReadWholeFile(*video + ".jpg");
  auto thumbnail = platform::DefaultImageCodec().Decode(jpeg);
  ASSERT_TRUE(thumbnail);
  std::vector<uint8_t> gray(static_cast<size_t>(thumbnail->width) * thumbnail->height);
  for (size_t i = 0; i < gray.size(); ++i) {
    const uint8_t* p = &thumbnail->rgba[i * 4];
    gray[i] = static_cast<uint8_t>((p[0] + p[1] + p[2]) / 3);
  }
  auto first = platform::ReadTestPictureTime(gray.data(), thumbnail->width, thumbnail->height,
                                             thumbnail->width);
  ASSERT_TRUE(first);
  EXPECT_EQ(*first, times.front());

  // The next recording starts at once; Ctrl-C ends it with finished files.
  platform::Subprocess again(Selvo({"--source", "test", "--duration", "60"}));
  lines.clear();
  const auto started = std::chrono::steady_clock::now();
  auto second = LineStarting(again, "video: ", lines, seconds(10));
  ASSERT_TRUE(second) << again.err();
  EXPECT_LT(std::chrono::steady_clock::now() - started, seconds(2));
  EXPECT_EQ(lines.size(), 1u) << "no sample recording expected: " << lines.front();
  std::this_thread::sleep_for(milliseconds(1500));
  again.Signal(SIGINT);
  ASSERT_EQ(again.Wait(seconds(15)), 0) << again.err();
  ExpectVideoFile(*second, 1.5);
}

TEST_F(RecordCommandTest, FileSourcePlaysInRealTimeAndOutMovesTheFiles) {
  const std::string movie = data_ + "/input.mp4";
  ASSERT_EQ(platform::RunProgram({platform::ToolPath("ffmpeg"), "-nostdin", "-v", "error", "-f",
                                  "lavfi", "-i", "testsrc2=s=320x240:r=25:d=2", "-f", "lavfi", "-i",
                                  "sine=f=660:d=2", "-shortest", "-pix_fmt", "yuv420p", movie}),
            0);
  const std::string out = data_ + "/out";
  std::filesystem::create_directory(out);
  std::string stdout_text, stderr_text;
  ASSERT_EQ(platform::RunProgram(Selvo({"--source", movie, "--duration", "2", "--out", out}),
                                 &stdout_text, &stderr_text, seconds(60)),
            0)
      << stderr_text;
  int videos = 0, audios = 0;
  for (const auto& entry : std::filesystem::directory_iterator(out)) {
    const std::string name = entry.path().string();
    if (name.ends_with("V.mov")) {
      ++videos;
      ExpectVideoFile(name, 2.0);
    } else if (name.ends_with("A.mov")) {
      ++audios;
      ExpectAudioFile(name, 2.0);
    }
  }
  EXPECT_EQ(videos, 1);
  EXPECT_EQ(audios, 1);
}

TEST_F(RecordCommandTest, ACameraThatIsNotThereGetsOneClearLine) {
  if (std::filesystem::exists("/dev/video0")) GTEST_SKIP() << "this machine has a camera";
  std::string out, err;
  EXPECT_EQ(platform::RunProgram(Selvo({"--source", "camera", "--duration", "1"}), &out, &err), 1);
  EXPECT_EQ(err.rfind("selvo: no camera found", 0), 0u) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  EXPECT_NE(err.find("--source test"), std::string::npos);
}

TEST_F(RecordCommandTest, MisuseAndBadInput) {
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* message;
  };
  const Case cases[] = {
      {{"--duration", "0"}, 2, "--duration must be a whole number"},
      {{"--duration", "ten"}, 2, "--duration must be a whole number"},
      {{"--out", "/nonexistent/dir"}, 2, "is not a directory"},
      {{"extra"}, 2, "record takes no positional arguments"},
      {{"--source", "/nonexistent.mp4"}, 1, "cannot play /nonexistent.mp4"},
  };
  for (const Case& c : cases) {
    std::string out, err;
    EXPECT_EQ(platform::RunProgram(Selvo(c.args), &out, &err), c.status) << c.message;
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
  }
}

}  // namespace
}  // namespace app
