// selvo broadcast as a user runs it, against selvo-server on loopback: the test camera
// records, the served playlist is polled while the broadcast goes on and decoded with ffmpeg
// afterwards. Every picture of the test camera carries its capture time, so the pictures a
// viewer receives tell how late each piece was listed (glass to glass) and whether any
// picture went missing.
#include <signal.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "engine/testing/loopback_http_server.h"
#include "platform/test_picture.h"
#include "platform/testing/fake_environment.h"
#include "platform/testing/media_probe.h"
#include "platform/testing/subprocess.h"
#include "server/testing/http_client.h"
#include "server/testing/server_fixture.h"

namespace app {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr int kWidth = 480;
constexpr int kHeight = 360;

int64_t WallMs() {
  return std::chrono::duration_cast<milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// Pictures in a transport-stream piece: one PES per picture on the video PID.
int VideoPictures(const std::string& ts) {
  int pictures = 0;
  for (size_t at = 0; at + 188 <= ts.size(); at += 188) {
    const auto* packet = reinterpret_cast<const uint8_t*>(ts.data() + at);
    const int pid = ((packet[1] & 0x1F) << 8) | packet[2];
    pictures += pid == 0x0100 && (packet[1] & 0x40) != 0;
  }
  return pictures;
}

// The pieces a playlist lists, in order.
std::vector<std::string> PlaylistPieces(const std::string& playlist) {
  std::vector<std::string> pieces;
  size_t at = 0;
  while (at < playlist.size()) {
    const size_t end = std::min(playlist.find('\n', at), playlist.size());
    const std::string line = playlist.substr(at, end - at);
    if (!line.empty() && line[0] != '#') pieces.push_back(line);
    at = end + 1;
  }
  return pieces;
}

double PlaylistSeconds(const std::string& url) {
  std::string out, err;
  platform::RunProgram({platform::ToolPath("ffprobe"), "-v", "error", "-show_entries",
                        "format=duration", "-of", "csv=p=0", url},
                       &out, &err);
  return out.empty() ? -1 : std::stod(out);
}

// A broadcast in progress: its output lines as they come, and the served playlist as a
// viewer polls it.
class Broadcasting {
 public:
  Broadcasting(std::vector<std::string> argv, server_testing::HttpClient& viewer)
      : started_ms_(WallMs()), process_(std::move(argv)), viewer_(viewer) {}

  platform::Subprocess& process() { return process_; }
  int64_t started_ms() const { return started_ms_; }
  const std::vector<std::string>& lines() const { return lines_; }
  // The first line starting with `prefix`, without it ("" while there is none).
  std::string Line(const std::string& prefix) const {
    for (const auto& line : lines_) {
      if (line.rfind(prefix, 0) == 0) return line.substr(prefix.size());
    }
    return "";
  }
  int64_t LineMs(const std::string& prefix) const {
    auto found = line_ms_.find(prefix);
    return found == line_ms_.end() ? -1 : found->second;
  }
  // When each piece was first listed in the playlist.
  const std::map<std::string, int64_t>& listed_ms() const { return listed_ms_; }

  // Takes the output and polls the playlist (every 20 ms) until `done` or the process ends
  // or `timeout`; false at the time-out.
  template <typename Done>
  bool Follow(Done done, milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      const bool ended = process_.Wait(milliseconds(5)).has_value();
      while (auto line = process_.ReadLine(milliseconds(0))) {
        lines_.push_back(*line);
        const std::string key = line->substr(0, line->find(':') + 1);
        line_ms_.emplace(key, WallMs());
      }
      const std::string playlist = Line("playlist: ");
      if (!playlist.empty()) {
        const auto answer = viewer_.Send("GET", playlist, "", {});
        const int64_t now = WallMs();
        if (answer.status == 200) {
          for (const auto& piece : PlaylistPieces(answer.body)) listed_ms_.emplace(piece, now);
        }
      }
      if (ended || done()) return true;
      std::this_thread::sleep_for(milliseconds(15));
    }
    return false;
  }

 private:
  const int64_t started_ms_;
  platform::Subprocess process_;
  server_testing::HttpClient& viewer_;
  std::vector<std::string> lines_;
  std::map<std::string, int64_t> line_ms_;
  std::map<std::string, int64_t> listed_ms_;
};

// What a viewer receives of a finished broadcast: every picture's capture time, and the
// index of each listed piece's first picture.
struct Served {
  std::vector<int64_t> capture_ms;
  std::vector<std::string> pieces;
  std::vector<size_t> first_picture;
};

Served ServedPictures(server_testing::HttpClient& viewer, const std::string& playlist) {
  Served served;
  const std::string base = playlist.substr(0, playlist.rfind('/') + 1);
  served.pieces = PlaylistPieces(viewer.Send("GET", playlist, "", {}).body);
  size_t pictures = 0;
  for (const auto& piece : served.pieces) {
    served.first_picture.push_back(pictures);
    pictures += static_cast<size_t>(VideoPictures(viewer.Send("GET", base + piece, "", {}).body));
  }
  for (const auto& luma : platform::DecodeLuma(playlist, kWidth, kHeight)) {
    const auto time = platform::ReadTestPictureTime(luma.data(), kWidth, kHeight, kWidth);
    served.capture_ms.push_back(time.value_or(-1));
  }
  EXPECT_EQ(served.capture_ms.size(), pictures) << "pictures decoded against pictures sent";
  return served;
}

// Every picture there once and in order, without a gap a lost piece would leave (a piece
// holds a second of pictures). A camera starved of time on a loaded machine may capture a
// picture late or skip one; that is not a loss.
void ExpectUnbroken(const Served& served) {
  ASSERT_FALSE(served.capture_ms.empty());
  for (size_t i = 0; i < served.capture_ms.size(); ++i) {
    ASSERT_GE(served.capture_ms[i], 0) << "picture " << i << " carries no capture time";
    if (i == 0) continue;
    const int64_t step = served.capture_ms[i] - served.capture_ms[i - 1];
    EXPECT_GT(step, 0) << "picture " << i;
    EXPECT_LT(step, 500) << "picture " << i;
  }
}

class BroadcastE2eTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new server_testing::ServerProcess(); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  void SetUp() override {
    static int users = 0;
    data_ = platform::MakeTempDirectory("selvo-broadcast");
    viewer_ = std::make_unique<server_testing::HttpClient>(server_->url());
    std::string out, err;
    ASSERT_EQ(platform::RunProgram(
                  Selvo({"register", "--email", "caster" + std::to_string(++users) + "@example.com",
                         "--password", "secret1", "--name", "Caster"}),
                  &out, &err),
              0)
        << err;
  }
  void TearDown() override { platform::RemoveTree(data_); }

  std::vector<std::string> Selvo(std::vector<std::string> args, std::string server = "") {
    std::vector<std::string> argv{platform::BinaryPath("selvo"), "--data-dir", data_, "--server",
                                  server.empty() ? server_->url() : server};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
  }

  // The user's files in the temporary directory other than the sample files.
  std::vector<std::string> LeftRecordings() {
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(data_ + "/tmp")) {
      const std::string name = entry.path().filename().string();
      if (name.rfind("sample_", 0) != 0 && name.find("_firstFrame_") == std::string::npos) {
        left.push_back(name);
      }
    }
    return left;
  }

  static server_testing::ServerProcess* server_;
  std::string data_;
  std::unique_ptr<server_testing::HttpClient> viewer_;
};

server_testing::ServerProcess* BroadcastE2eTest::server_ = nullptr;

TEST_F(BroadcastE2eTest, ALiveBroadcastIsServedAsRecordedAndAKilledOneResumesFromTheQueue) {
  // A fresh data directory: the sample files come first.
  Broadcasting live(Selvo({"broadcast", "--source", "test", "--duration", "15", "--title", "e2e"}),
                    *viewer_);
  ASSERT_TRUE(live.Follow([] { return false; }, seconds(90))) << live.process().err();
  ASSERT_EQ(live.process().Wait(seconds(1)), 0) << live.process().err();
  ASSERT_FALSE(live.lines().empty());
  EXPECT_EQ(live.lines().front().rfind("samples: ", 0), 0u) << live.lines().front();
  EXPECT_NE(live.Line("watch: "), "");
  EXPECT_NE(live.Line("broadcast complete"), "") << live.process().out();
  const std::string playlist = live.Line("playlist: ");
  ASSERT_EQ(playlist.substr(playlist.size() - 5), ".m3u8");
  const double recorded = std::stod(live.Line("recorded: "));
  EXPECT_NEAR(recorded, 15, 0.5);
  EXPECT_NE(live.process().err().find("recorded 00:00:10  uploaded 00:00:0"), std::string::npos)
      << live.process().err();

  // What a viewer receives: clean to decode, as long as the recording, every picture.
  std::string errors;
  EXPECT_TRUE(platform::DecodesCleanly(playlist, &errors)) << errors;
  EXPECT_NEAR(PlaylistSeconds(playlist), recorded, 0.5);
  const Served served = ServedPictures(*viewer_, playlist);
  ExpectUnbroken(served);
  EXPECT_NEAR((served.capture_ms.back() - served.capture_ms.front()) / 1000.0 + 0.1, recorded, 0.2);

  // Glass to glass: from a piece's first picture's capture to the piece being listed, for
  // the pieces listed while recording.
  const int64_t stopped_ms = live.LineMs("recorded:");
  // The wait after a piece's last picture (encoding, interleaving, polling, upload) is
  // reported beside it.
  std::vector<int64_t> latency_ms, after_last_ms;
  for (size_t i = 0; i + 1 < served.pieces.size(); ++i) {
    const int64_t listed = live.listed_ms().at(served.pieces[i]);
    const size_t first = served.first_picture[i], next = served.first_picture[i + 1];
    if (listed >= stopped_ms || first >= next || next > served.capture_ms.size()) continue;
    latency_ms.push_back(listed - served.capture_ms[first]);
    after_last_ms.push_back(listed - served.capture_ms[next - 1]);
  }
  ASSERT_GE(latency_ms.size(), 10u);
  std::sort(latency_ms.begin(), latency_ms.end());
  std::sort(after_last_ms.begin(), after_last_ms.end());
  const int64_t p50 = latency_ms[latency_ms.size() / 2];
  const int64_t max = latency_ms.back();
  std::printf(
      "glass to glass over %zu live pieces: p50 %lld ms, max %lld ms, min %lld ms; "
      "after the piece's last picture: p50 %lld ms, max %lld ms\n",
      latency_ms.size(), static_cast<long long>(p50), static_cast<long long>(max),
      static_cast<long long>(latency_ms.front()),
      static_cast<long long>(after_last_ms[after_last_ms.size() / 2]),
      static_cast<long long>(after_last_ms.back()));
  RecordProperty("glass_to_glass_p50_ms", static_cast<int>(p50));
  RecordProperty("glass_to_glass_max_ms", static_cast<int>(max));
  // One-second pieces: a piece is listed once its last picture is written, about a second
  // after its first; the bounds leave room for a loaded machine.
  EXPECT_GT(p50, 900);
  EXPECT_LT(p50, 2500);
  // The uploaded recording was cleaned away.
  EXPECT_TRUE(LeftRecordings().empty());

  // The sample files are there now: the next broadcast starts at once.
  Broadcasting killed(Selvo({"broadcast"}), *viewer_);
  ASSERT_TRUE(killed.Follow([&] { return killed.listed_ms().size() >= 3; }, seconds(30)))
      << killed.process().err();
  EXPECT_EQ(killed.Line("samples: "), "") << killed.process().out();
  ASSERT_GE(killed.LineMs("recording:"), 0);
  // Three seconds of sample files went before the first recording, none before this one.
  EXPECT_LT(killed.LineMs("recording:") - killed.started_ms(),
            live.LineMs("recording:") - live.started_ms() - 2000);
  const std::string id = killed.Line("recording: ");
  const std::string killed_playlist = killed.Line("playlist: ");
  killed.process().Signal(SIGKILL);
  const int64_t killed_ms = WallMs();
  EXPECT_EQ(killed.process().Wait(seconds(10)), 128 + SIGKILL);

  // It waits in the upload queue, and uploading it from there completes the video.
  std::string out, err;
  ASSERT_EQ(platform::RunProgram(Selvo({"queue"}), &out, &err), 0) << err;
  EXPECT_NE(out.find(id + "  stopped"), std::string::npos) << out;
  ASSERT_EQ(platform::RunProgram(Selvo({"queue", "start", id.substr(0, 8)}), &out, &err), 0) << err;
  EXPECT_NE(err.find("from second"), std::string::npos) << err;
  ASSERT_EQ(platform::RunProgram(Selvo({"queue"}), &out, &err), 0) << err;
  EXPECT_EQ(out, "the upload queue is empty\n");
  EXPECT_TRUE(LeftRecordings().empty());
  EXPECT_TRUE(platform::DecodesCleanly(killed_playlist, &errors)) << errors;
  // Nothing lost: every picture up to about the moment of the kill.
  const Served resumed = ServedPictures(*viewer_, killed_playlist);
  ExpectUnbroken(resumed);
  EXPECT_GT(resumed.capture_ms.back(), killed_ms - 1000);
  EXPECT_NEAR(PlaylistSeconds(killed_playlist),
              (resumed.capture_ms.back() - resumed.capture_ms.front()) / 1000.0 + 0.1, 0.3);
}

TEST_F(BroadcastE2eTest, CtrlCStopsAndFinishesTheUploadAndASecondOneExitsAtOnce) {
  Broadcasting stopped(Selvo({"broadcast"}), *viewer_);
  ASSERT_TRUE(stopped.Follow([&] { return stopped.listed_ms().size() >= 2; }, seconds(30)));
  stopped.process().Signal(SIGINT);
  ASSERT_EQ(stopped.process().Wait(seconds(30)), 0) << stopped.process().err();
  EXPECT_NE(stopped.process().out().find("broadcast complete"), std::string::npos);
  const std::string playlist = stopped.Line("playlist: ");
  EXPECT_NE(viewer_->Send("GET", playlist, "", {}).body.find("#EXT-X-ENDLIST"), std::string::npos);

  // Interrupted twice, it leaves at once; the recording waits in the queue.
  Broadcasting interrupted(Selvo({"broadcast"}), *viewer_);
  ASSERT_TRUE(
      interrupted.Follow([&] { return !interrupted.Line("recording: ").empty(); }, seconds(30)));
  interrupted.process().Signal(SIGINT);
  ASSERT_TRUE(interrupted.Follow(
      [&] { return interrupted.process().err().find("stopping") != std::string::npos; },
      seconds(10)));
  interrupted.process().Signal(SIGINT);
  EXPECT_EQ(interrupted.process().Wait(seconds(10)), 128 + SIGINT);
  std::string out, err;
  ASSERT_EQ(platform::RunProgram(Selvo({"queue"}), &out, &err), 0) << err;
  EXPECT_NE(out.find(interrupted.Line("recording: ")), std::string::npos) << out;
}

TEST_F(BroadcastE2eTest, PublishFailuresFollowTheCameraScreensRules) {
  // The service cannot publish: the recording goes on without a live broadcast.
  std::atomic<int> failing{500};
  selvo::testing::LoopbackHttpServer service(
      [&](const selvo::testing::HttpRequestRecord& request) {
        const int status = failing.load();
        if (status != 0 && request.target.rfind("/api/video/publish", 0) == 0) {
          return selvo::testing::HttpAction(selvo::testing::HttpAction::kAnswer, status,
                                            status == 401
                                                ? R"({"code":401,"msg":"invalid token"})"
                                                : R"({"code":500,"msg":"down for maintenance"})");
        }
        return selvo::testing::HttpAction(selvo::testing::HttpAction::kForward);
      },
      server_->url());
  Broadcasting offline(Selvo({"broadcast", "--duration", "2"}, service.url()), *viewer_);
  ASSERT_TRUE(offline.Follow([] { return false; }, seconds(30)));
  EXPECT_EQ(offline.process().Wait(seconds(1)), 1);
  const std::string& err = offline.process().err();
  EXPECT_NE(err.find("publishing failed: down for maintenance; the recording goes on"),
            std::string::npos)
      << err;
  const std::string id = offline.Line("recording: ");
  EXPECT_NE(err.find("the recording stays in the upload queue as task " + id), std::string::npos)
      << err;
  EXPECT_EQ(offline.Line("playlist: "), "");

  // A refused sign-in stops the recording at once and asks to sign in again.
  failing.store(401);
  Broadcasting refused(Selvo({"broadcast"}, service.url()), *viewer_);
  ASSERT_TRUE(refused.Follow([] { return false; }, seconds(30)));
  EXPECT_EQ(refused.process().Wait(seconds(1)), 1);
  EXPECT_NE(refused.process().err().find("Please sign in again"), std::string::npos)
      << refused.process().err();
  std::string out, queue_err;
  ASSERT_EQ(
      platform::RunProgram(Selvo({"queue", "rm", refused.Line("recording: ")}), &out, &queue_err),
      0)
      << queue_err;

  // From the queue it is published with what was stored when it was recorded, then uploaded.
  failing.store(0);
  ASSERT_EQ(platform::RunProgram(Selvo({"queue", "start", id}, service.url()), &out, &queue_err), 0)
      << queue_err;
  EXPECT_NE(queue_err.find("publishing task " + id + " first"), std::string::npos) << queue_err;
  EXPECT_NE(out.find("upload complete"), std::string::npos);
  ASSERT_EQ(platform::RunProgram(Selvo({"queue"}), &out, &queue_err), 0);
  EXPECT_EQ(out, "the upload queue is empty\n");
  EXPECT_TRUE(LeftRecordings().empty());
}

}  // namespace
}  // namespace app
