// The streaming engine end to end against selvo-server on loopback: a live broadcast of a
// recording ffmpeg writes in real time, failures injected at a chosen piece by a proxy in
// front of the server, `selvo upload` killed in mid-stream and run again, `selvo queue`,
// and TLS. What the server serves is decoded with ffmpeg and compared with the recordings.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/streaming_library.h"
#include "engine/testing/loopback_http_server.h"
#include "engine/testing/media_tools.h"
#include "engine/testing/temp_dir.h"
#include "platform/dispatch.h"
#include "platform/file_system.h"
#include "platform/testing/subprocess.h"
#include "server/testing/http_client.h"
#include "server/testing/server_fixture.h"

extern char** environ;

namespace app {
namespace {

using namespace std::chrono_literals;
using selvo::testing::FrameHashes;
using selvo::testing::HttpAction;
using selvo::testing::HttpRequestRecord;
using selvo::testing::LoopbackHttpServer;
using selvo::testing::Quote;
using selvo::testing::Recording;
using selvo::testing::TempDir;

struct Published {
  int64_t id = 0;
  std::string publish_url;
  std::string playlist;  // URL of the playlist
};

// Every event of the engine, from its queue; a test thread waits for the ones it needs.
class EventRecorder final : public selvo::IObserver {
 public:
  struct Event {
    selvo::EventType type;
    void* task;
    int32_t value;
  };
  void Update(selvo::EventType event, void* task, int32_t value, const std::string&) override {
    std::lock_guard lock(mutex_);
    events_.push_back({event, task, value});
    changed_.notify_all();
  }
  // Waits (at most `timeout`) until `task` had `count` events of `type`.
  bool WaitFor(void* task, selvo::EventType type, size_t count = 1,
               std::chrono::seconds timeout = 60s) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return Count(task, type) >= count; });
  }
  std::vector<Event> Of(void* task) {
    std::lock_guard lock(mutex_);
    std::vector<Event> found;
    for (const Event& e : events_) {
      if (e.task == task) found.push_back(e);
    }
    return found;
  }

 private:
  size_t Count(void* task, selvo::EventType type) const {
    size_t n = 0;
    for (const Event& e : events_) n += e.task == task && e.type == type;
    return n;
  }
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Event> events_;
};

// The recording's frames as the playlist on the server gives them back.
void ExpectServedAsRecorded(const std::string& playlist, const std::string& video,
                            const std::string& audio) {
  std::string warnings;
  const auto served_video = FrameHashes("-i " + Quote(playlist) + " -map 0:v", &warnings);
  const auto recorded_video = FrameHashes("-i " + Quote(video) + " -map 0:v");
  ASSERT_FALSE(recorded_video.empty());
  ASSERT_LE(served_video.size(), recorded_video.size());
  // The upload ends with the shorter stream: at most half a second may be missing.
  EXPECT_GE(served_video.size() + 5, recorded_video.size());
  for (size_t i = 0; i < served_video.size(); ++i) {
    ASSERT_EQ(served_video[i], recorded_video[i]) << "video frame " << i;
  }
  const auto served_audio =
      FrameHashes("-i " + Quote(playlist) + " -map 0:a -c copy -bsf:a aac_adtstoasc", &warnings);
  const auto recorded_audio = FrameHashes("-i " + Quote(audio) + " -map 0:a -c copy");
  ASSERT_LE(served_audio.size(), recorded_audio.size());
  EXPECT_GE(served_audio.size() + 12, recorded_audio.size());
  for (size_t i = 0; i < served_audio.size(); ++i) {
    ASSERT_EQ(served_audio[i], recorded_audio[i]) << "AAC frame " << i;
  }
}

class StreamingUploadE2eTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new server_testing::ServerProcess(); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  void SetUp() override {
    static int users = 0;
    client_ = std::make_unique<server_testing::HttpClient>(server_->url());
    account_ = server_testing::RegisterEmailUser(
        *client_, "uploader" + std::to_string(++users) + "@example.com", "secret1", "Uploader");
    video_ = Recording("video-12s");
    audio_ = Recording("audio-12s");
    video_sample_ = Recording("video-3s");
    audio_sample_ = Recording("audio-3s");
    ASSERT_FALSE(video_.empty() || audio_.empty() || video_sample_.empty() ||
                 audio_sample_.empty());
  }

  Published Publish() {
    const platform::Value answer = server_testing::PublishVideo(*client_, account_);
    Published video;
    video.id = answer["_id"].AsInt();
    video.publish_url = answer["publish_url"].AsString();
    video.playlist = answer["play_url"].AsString() + ".m3u8";
    return video;
  }

  // Positions of the pieces the server accepted for `video`, in the order it stored them.
  std::vector<int> StoredPositions(const Published& video) {
    std::vector<int> positions;
    auto journal = platform::DefaultFileSystem().ReadFile(server_->data_dir() + "/media/video/" +
                                                          std::to_string(video.id) + "/journal");
    if (!journal) return positions;
    size_t at = 0;
    while (at < journal->size()) {
      const size_t end = journal->find('\n', at);
      const std::string line = journal->substr(at, end - at);
      if (line.rfind("piece ", 0) == 0) positions.push_back(std::atoi(line.c_str() + 6));
      at = end == std::string::npos ? journal->size() : end + 1;
    }
    return positions;
  }

  // `selvo upload` of the recordings to `url` in the data directory `data`.
  std::vector<std::string> UploadArgs(const std::string& data, const std::string& url) {
    return {platform::BinaryPath("selvo"),
            "--data-dir",
            data,
            "upload",
            "--url",
            url,
            "--token",
            account_.token,
            "--user",
            std::to_string(account_.uid),
            "--video",
            video_,
            "--audio",
            audio_};
  }
  std::vector<std::string> QueueArgs(const std::string& data, std::vector<std::string> more) {
    std::vector<std::string> args = {
        platform::BinaryPath("selvo"), "--data-dir", data, "queue", "--user",
        std::to_string(account_.uid)};
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }

  static server_testing::ServerProcess* server_;
  std::unique_ptr<server_testing::HttpClient> client_;
  server_testing::Account account_;
  std::string video_, audio_, video_sample_, audio_sample_;
};

server_testing::ServerProcess* StreamingUploadE2eTest::server_ = nullptr;

// The engine of this process on a real serial queue.
class EngineInProcess {
 public:
  explicit EngineInProcess(const std::string& documents, selvo::StreamingOptions options = {})
      : queue_(platform::DefaultDispatcher().CreateSerialQueue("com.selvo.queue")) {
    On([&] {
      selvo::InitStreamingLibrary(
          [queue = queue_](std::function<void()> block) { queue->Async(std::move(block)); },
          documents.c_str(), "selvo-e2e-test", std::move(options));
      selvo::AttachObserver(&events);
      selvo::LoadStreamingTasksFromDisk("3132");
    });
  }
  ~EngineInProcess() {
    On([] {
      selvo::StopAllStreamingTasks();
      selvo::TerminateStreamingLibrary();
    });
  }
  void On(std::function<void()> work) { queue_->Sync(std::move(work)); }
  selvo::StreamingTaskInfo Info(selvo::StreamingTask* task) {
    selvo::StreamingTaskInfo info;
    On([&] { selvo::ReadStreamingTaskInfo(task, info); });
    return info;
  }

  EventRecorder events;

 private:
  std::shared_ptr<platform::DispatchQueue> queue_;
};

TEST_F(StreamingUploadE2eTest, ALiveBroadcastOfARecordingBeingWritten) {
  const Published video = Publish();
  TempDir dir;
  EngineInProcess engine(dir.path());

  // ffmpeg records 6 s in real time, as the recorder does.
  const std::string script = selvo::testing::SourceDir() + "/engine/testdata/make_recordings.sh";
  const char* argv[] = {"bash", script.c_str(), "--live", dir.path().c_str(), "6", nullptr};
  pid_t recorder = -1;
  ASSERT_EQ(posix_spawnp(&recorder, "bash", nullptr, nullptr, const_cast<char**>(argv), environ),
            0);
  const std::string live_video = dir.File("live-video.mov");
  const std::string live_audio = dir.File("live-audio.mov");
  selvo::StreamingTask* task = nullptr;
  int started = 0;
  engine.On([&] {
    task = selvo::NewLiveStreamingTask("live-uuid", live_video.c_str(), live_audio.c_str());
    started = selvo::StartLiveStreamingTask(task, video.publish_url.c_str(), account_.token.c_str(),
                                            10, video_sample_.c_str(), audio_sample_.c_str());
  });
  ASSERT_EQ(started, 1);

  // Pieces go out while the files grow.
  ASSERT_TRUE(engine.events.WaitFor(task, selvo::kSecondsUploaded, 2, 30s));
  int status = 0;
  EXPECT_EQ(waitpid(recorder, &status, WNOHANG), 0) << "the recording ended before two pieces";
  ASSERT_EQ(waitpid(recorder, &status, 0), recorder);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const size_t live_pieces = StoredPositions(video).size();

  // The recorder finished its files: the second pass uploads the rest and closes.
  engine.On([&] { selvo::SendRecorderStoppedSignal(task); });
  ASSERT_TRUE(engine.events.WaitFor(task, selvo::kTaskRemoved));
  std::vector<std::pair<int, int32_t>> events;
  for (const auto& e : engine.events.Of(task)) {
    if (e.type != selvo::kSecondsUploaded && e.type != selvo::kBytesTransferred) {
      events.emplace_back(e.type, e.value);
    }
  }
  EXPECT_EQ(events, (std::vector<std::pair<int, int32_t>>{{selvo::kTaskCreated, 1},
                                                          {selvo::kTaskStateChanged, 0},
                                                          {selvo::kTaskStateChanged, 1},
                                                          {selvo::kTaskStateChanged, 0},
                                                          {selvo::kTaskFinished, 0},
                                                          {selvo::kTaskRemoved, 0}}));
  EXPECT_EQ(engine.Info(task).id, "");  // the engine no longer holds it

  // Every position stored once, in order; more after the recorder stopped.
  const std::vector<int> positions = StoredPositions(video);
  ASSERT_GT(positions.size(), live_pieces);
  for (size_t i = 0; i < positions.size(); ++i) EXPECT_EQ(positions[i], static_cast<int>(i) + 1);
  ExpectServedAsRecorded(video.playlist, live_video, live_audio);
}

struct FaultCase {
  const char* name;
  HttpAction fault;
  selvo::StreamingResult result;
};

class StreamingFaultE2eTest : public StreamingUploadE2eTest,
                              public ::testing::WithParamInterface<FaultCase> {};

TEST_P(StreamingFaultE2eTest, AFailedPieceFailsTheTaskAndAStartResumesAtIt) {
  const FaultCase& c = GetParam();
  constexpr int kFaultyPiece = 5;
  std::mutex mutex;
  bool faulty = true;
  int pieces = 0;
  LoopbackHttpServer proxy(
      [&](const HttpRequestRecord& request) {
        std::lock_guard lock(mutex);
        if (request.Query("cmd") == "2" && ++pieces == kFaultyPiece && faulty) return c.fault;
        return HttpAction{HttpAction::kForward};
      },
      server_->url());
  const Published video = Publish();
  const std::string url = proxy.url() + video.publish_url.substr(server_->url().size());
  TempDir dir;
  EngineInProcess engine(dir.path());
  selvo::StreamingTask* task = nullptr;
  int started = 0;
  engine.On([&] {
    task = selvo::NewLiveStreamingTask("file-uuid", video_.c_str(), audio_.c_str());
    selvo::SendRecorderStoppedSignal(task);
    started = selvo::StartFileStreamingTask(task, url.c_str(), account_.token.c_str(), 10,
                                            video_sample_.c_str(), audio_sample_.c_str());
  });
  ASSERT_EQ(started, 1);
  ASSERT_TRUE(engine.events.WaitFor(task, selvo::kTaskFinished));
  EXPECT_EQ(engine.events.Of(task).back().value, c.result);
  selvo::StreamingTaskInfo info = engine.Info(task);
  EXPECT_EQ(info.state, selvo::kDisplayFailed);
  EXPECT_EQ(info.seconds_uploaded, kFaultyPiece - 1);
  EXPECT_EQ(StoredPositions(video), (std::vector<int>{1, 2, 3, 4}));

  {
    std::lock_guard lock(mutex);
    faulty = false;
  }
  engine.On([&] {
    started = selvo::StartFileStreamingTask(task, url.c_str(), account_.token.c_str(), 10,
                                            video_sample_.c_str(), audio_sample_.c_str());
  });
  ASSERT_EQ(started, 1);
  ASSERT_TRUE(engine.events.WaitFor(task, selvo::kTaskRemoved));
  EXPECT_EQ(engine.events.Of(task).back().type, selvo::kTaskRemoved);

  // The piece that failed came again and then the rest; nothing was stored twice.
  const std::vector<int> positions = StoredPositions(video);
  ASSERT_GE(positions.size(), 11u);
  for (size_t i = 0; i < positions.size(); ++i) EXPECT_EQ(positions[i], static_cast<int>(i) + 1);
  for (int status : proxy.forwarded_statuses()) EXPECT_EQ(status, 200);
  ExpectServedAsRecorded(video.playlist, video_, audio_);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, StreamingFaultE2eTest,
    ::testing::Values(
        FaultCase{"TooLarge", {HttpAction::kAnswer, 413, "{}"}, selvo::kErrorHttpBufferOverflow},
        FaultCase{"RefusedToken", {HttpAction::kAnswer, 401, "{}"}, selvo::kErrorAccessToken},
        FaultCase{"ServerError", {HttpAction::kAnswer, 500, "{}"}, selvo::kErrorNetwork},
        FaultCase{"DroppedConnection", {HttpAction::kDrop}, selvo::kErrorNetwork}),
    [](const auto& test) { return std::string(test.param.name); });

// A proxy that forwards everything, except that it holds piece `hold_at` (counted over the
// whole stream) without an answer while `holding` is set.
class HoldingProxy {
 public:
  HoldingProxy(const std::string& upstream, int hold_at)
      : hold_at_(hold_at),
        server_([this](const HttpRequestRecord& request) { return Decide(request); }, upstream) {}
  void Release() {
    std::lock_guard lock(mutex_);
    holding_ = false;
  }
  // Waits until the held piece arrived: every piece before it was answered by then.
  bool WaitForHeldPiece() {
    std::unique_lock lock(mutex_);
    return held_.wait_for(lock, 30s, [this] { return pieces_ >= hold_at_; });
  }
  std::string Rewrite(const std::string& url, const std::string& upstream) const {
    return server_.url() + url.substr(upstream.size());
  }

 private:
  HttpAction Decide(const HttpRequestRecord& request) {
    std::lock_guard lock(mutex_);
    if (request.Query("cmd") == "2" && ++pieces_ == hold_at_ && holding_) {
      held_.notify_all();
      return {HttpAction::kHang};
    }
    return {HttpAction::kForward};
  }
  const int hold_at_;
  std::mutex mutex_;
  std::condition_variable held_;
  bool holding_ = true;
  int pieces_ = 0;
  LoopbackHttpServer server_;
};

TEST_F(StreamingUploadE2eTest, SelvoUploadKilledInMidStreamResumesToTheSameVideo) {
  // Uninterrupted, for comparison.
  const Published reference = Publish();
  TempDir reference_data;
  std::string out, err;
  ASSERT_EQ(
      platform::RunProgram(UploadArgs(reference_data.path(), reference.publish_url), &out, &err), 0)
      << err;
  EXPECT_NE(out.find("upload complete"), std::string::npos);

  // Killed while piece 6 is on its way (pieces 1 to 5 accepted).
  const Published video = Publish();
  HoldingProxy proxy(server_->url(), 6);
  const std::string url = proxy.Rewrite(video.publish_url, server_->url());
  TempDir data;
  {
    platform::Subprocess upload(UploadArgs(data.path(), url));
    ASSERT_TRUE(proxy.WaitForHeldPiece());
    upload.Signal(SIGKILL);
    EXPECT_EQ(upload.Wait(10s), 128 + SIGKILL);
  }
  EXPECT_EQ(StoredPositions(video), (std::vector<int>{1, 2, 3, 4, 5}));
  proxy.Release();
  ASSERT_EQ(platform::RunProgram(UploadArgs(data.path(), url), &out, &err), 0) << err;
  EXPECT_NE(err.find("from second 5"), std::string::npos) << err;

  // The same pieces in the same places, each stored once; the same frames served.
  const std::vector<int> positions = StoredPositions(video);
  EXPECT_EQ(positions, StoredPositions(reference));
  for (size_t i = 0; i < positions.size(); ++i) EXPECT_EQ(positions[i], static_cast<int>(i) + 1);
  const std::string media = " -map 0:v -map 0:a -c copy -bsf:a aac_adtstoasc";
  EXPECT_EQ(FrameHashes("-i " + Quote(video.playlist) + media),
            FrameHashes("-i " + Quote(reference.playlist) + media));
  ExpectServedAsRecorded(video.playlist, video_, audio_);
}

TEST_F(StreamingUploadE2eTest, TheQueueCommandsFollowAnUploadInAnotherProcess) {
  const Published video = Publish();
  HoldingProxy proxy(server_->url(), 3);
  const std::string url = proxy.Rewrite(video.publish_url, server_->url());
  TempDir data;
  std::string out, err;
  ASSERT_EQ(platform::RunProgram(QueueArgs(data.path(), {"list"}), &out, &err), 0) << err;
  EXPECT_EQ(out, "the upload queue is empty\n");

  platform::Subprocess upload(UploadArgs(data.path(), url));
  ASSERT_TRUE(proxy.WaitForHeldPiece());
  ASSERT_EQ(platform::RunProgram(QueueArgs(data.path(), {}), &out, &err), 0) << err;
  EXPECT_NE(out.find("uploading"), std::string::npos) << out;
  EXPECT_NE(out.find("(process " + std::to_string(upload.pid()) + ")"), std::string::npos) << out;
  // Its id, from the list.
  const size_t line = out.find('\n') + 1;
  const std::string id = out.substr(line, out.find(' ', line) - line);
  ASSERT_EQ(id.size(), 36u) << out;

  // Another upload from the same queue waits its turn; removal of the busy queue too.
  EXPECT_EQ(platform::RunProgram(UploadArgs(data.path(), url), &out, &err), 1);
  EXPECT_NE(err.find("another selvo process"), std::string::npos) << err;

  // Stopping it asks the uploading process to end; it saves the queue as it goes.
  ASSERT_EQ(platform::RunProgram(QueueArgs(data.path(), {"stop", id.substr(0, 8)}), &out, &err), 0)
      << err;
  EXPECT_EQ(upload.Wait(30s), 128 + SIGTERM);
  EXPECT_NE(upload.err().find("run the same command again"), std::string::npos) << upload.err();
  ASSERT_EQ(platform::RunProgram(QueueArgs(data.path(), {"list"}), &out, &err), 0) << err;
  EXPECT_NE(out.find(id + "  stopped         2 s"), std::string::npos) << out;

  // Started again from the queue, it completes and leaves the queue.
  proxy.Release();
  ASSERT_EQ(platform::RunProgram(QueueArgs(data.path(), {"start", id, "--token", account_.token}),
                                 &out, &err),
            0)
      << err;
  EXPECT_NE(err.find("from second 2"), std::string::npos) << err;
  ASSERT_EQ(platform::RunProgram(QueueArgs(data.path(), {"list"}), &out, &err), 0) << err;
  EXPECT_EQ(out, "the upload queue is empty\n");
  const std::vector<int> positions = StoredPositions(video);
  for (size_t i = 0; i < positions.size(); ++i) EXPECT_EQ(positions[i], static_cast<int>(i) + 1);

  // A recording queued without finishing, then removed.
  const Published other = Publish();
  const std::string refused = server_->url() + other.publish_url.substr(server_->url().size());
  std::vector<std::string> args = UploadArgs(data.path(), refused);
  args[7] = "not-the-token";
  ASSERT_EQ(platform::RunProgram(args, &out, &err), 1);
  EXPECT_NE(err.find("Please sign in again"), std::string::npos) << err;
  ASSERT_EQ(platform::RunProgram(QueueArgs(data.path(), {"list"}), &out, &err), 0) << err;
  const std::string queued = out.substr(line, 36);
  ASSERT_EQ(platform::RunProgram(QueueArgs(data.path(), {"rm", queued}), &out, &err), 0) << err;
  EXPECT_NE(out.find("removed " + queued), std::string::npos) << out;
  ASSERT_EQ(platform::RunProgram(QueueArgs(data.path(), {"list"}), &out, &err), 0) << err;
  EXPECT_EQ(out, "the upload queue is empty\n");
  EXPECT_EQ(platform::RunProgram(QueueArgs(data.path(), {"rm", queued}), &out, &err), 1);
}

TEST(StreamingTlsE2eTest, UploadsVerifyTheServerCertificate) {
  server_testing::ServerOptions options;
  options.tls = true;
  server_testing::ServerProcess server(options);
  server_testing::HttpClient client(server.url(), server.ca_file());
  const auto account =
      server_testing::RegisterEmailUser(client, "tls@example.com", "secret1", "Tls");
  const std::string url = server_testing::PublishVideo(client, account)["publish_url"].AsString();
  ASSERT_EQ(url.rfind("https://", 0), 0u);
  const std::string video = Recording("video-3s");
  const std::string audio = Recording("audio-3s");
  TempDir data;
  auto upload = [&](bool with_ca, std::string* err) {
    std::vector<std::string> argv = {platform::BinaryPath("selvo"), "--data-dir", data.path()};
    if (with_ca) argv.insert(argv.end(), {"--ca-file", server.ca_file()});
    argv.insert(argv.end(), {"upload", "--url", url, "--token", account.token, "--user",
                             std::to_string(account.uid), "--video", video, "--audio", audio});
    std::string out;
    return platform::RunProgram(argv, &out, err);
  };
  std::string err;
  EXPECT_EQ(upload(false, &err), 1);  // a self-signed certificate is not trusted by default
  EXPECT_NE(err.find("certificate"), std::string::npos) << err;
  EXPECT_EQ(upload(true, &err), 0) << err;
}

}  // namespace
}  // namespace app
