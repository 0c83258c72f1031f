// What a live broadcast costs the streaming engine: its CPU time per second of broadcast
// and the resident memory a running task adds, while it uploads a 200 kbit/s recording
// that ffmpeg writes in real time to selvo-server on loopback.
//
// The engine runs in this process; ffmpeg and the server run in their own, so the CPU
// time of this process is the engine's (its worker, its queue and libcurl).
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>

#include "engine/streaming_library.h"
#include "engine/testing/media_tools.h"
#include "engine/testing/temp_dir.h"
#include "platform/dispatch.h"
#include "server/testing/http_client.h"
#include "server/testing/server_fixture.h"

extern char** environ;

namespace {

constexpr int kBroadcastSeconds = 10;

double CpuSeconds() {
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string word;
  while (status >> word) {
    if (word == "VmRSS:") {
      long kib = 0;
      status >> kib;
      return kib;
    }
  }
  return 0;
}

// Events of one task; the largest resident size seen at its pieces.
class Watcher final : public selvo::IObserver {
 public:
  void Update(selvo::EventType event, void*, int32_t, const std::string&) override {
    std::lock_guard lock(mutex_);
    if (event == selvo::kBytesTransferred) peak_kib_ = std::max(peak_kib_, ResidentKiB());
    if (event == selvo::kTaskRemoved) removed_ = true;
    if (event == selvo::kTaskFinished) changed_.notify_all();
    changed_.notify_all();
  }
  bool WaitRemoved() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(120), [&] { return removed_; });
  }
  void Reset() {
    std::lock_guard lock(mutex_);
    removed_ = false;
    peak_kib_ = 0;
  }
  long peak_kib() {
    std::lock_guard lock(mutex_);
    return peak_kib_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool removed_ = false;
  long peak_kib_ = 0;
};

void BM_LiveBroadcast(benchmark::State& state) {
  server_testing::ServerProcess server;
  server_testing::HttpClient client(server.url());
  const auto account =
      server_testing::RegisterEmailUser(client, "bench@example.com", "secret1", "Bench");
  const std::string video_sample = selvo::testing::Recording("video-3s");
  const std::string audio_sample = selvo::testing::Recording("audio-3s");
  selvo::testing::TempDir dir;
  auto queue = platform::DefaultDispatcher().CreateSerialQueue("com.selvo.queue");
  Watcher watcher;
  queue->Sync([&] {
    selvo::InitStreamingLibrary([queue](std::function<void()> block) { queue->Async(block); },
                                dir.path().c_str(), "selvo-benchmark");
    selvo::AttachObserver(&watcher);
    selvo::LoadStreamingTasksFromDisk("3132");
  });
  // Warm up libcurl and the connection set-up with a short finished recording.
  const long cold_kib = ResidentKiB();
  const std::string warm_url =
      server_testing::PublishVideo(client, account)["publish_url"].AsString();
  queue->Sync([&] {
    selvo::StreamingTask* task =
        selvo::NewLiveStreamingTask("warm", video_sample.c_str(), audio_sample.c_str());
    selvo::SendRecorderStoppedSignal(task);
    selvo::StartFileStreamingTask(task, warm_url.c_str(), account.token.c_str(), 10,
                                  video_sample.c_str(), audio_sample.c_str());
  });
  watcher.WaitRemoved();
  const long first_task_kib = watcher.peak_kib() - cold_kib;

  for (auto _ : state) {
    watcher.Reset();
    const std::string url = server_testing::PublishVideo(client, account)["publish_url"].AsString();
    const std::string live = dir.path() + "/live" + std::to_string(state.iterations());
    // Memory the warm-up task freed would otherwise stay resident and be reused unseen.
    malloc_trim(0);
    const long idle_kib = ResidentKiB();
    const double cpu_start = CpuSeconds();
    const std::string script = selvo::testing::SourceDir() + "/engine/testdata/make_recordings.sh";
    const std::string seconds = std::to_string(kBroadcastSeconds);
    const char* argv[] = {"bash", script.c_str(), "--live", live.c_str(), seconds.c_str(), nullptr};
    pid_t recorder = -1;
    posix_spawnp(&recorder, "bash", nullptr, nullptr, const_cast<char**>(argv), environ);
    selvo::StreamingTask* task = nullptr;
    queue->Sync([&] {
      task = selvo::NewLiveStreamingTask("live", (live + "/live-video.mov").c_str(),
                                         (live + "/live-audio.mov").c_str());
      selvo::StartLiveStreamingTask(task, url.c_str(), account.token.c_str(), 10,
                                    video_sample.c_str(), audio_sample.c_str());
    });
    int status = 0;
    waitpid(recorder, &status, 0);
    queue->Sync([&] { selvo::SendRecorderStoppedSignal(task); });
    if (!watcher.WaitRemoved()) state.SkipWithError("the broadcast did not complete");
    const double cpu = CpuSeconds() - cpu_start;
    state.counters["engine_cpu_ms_per_broadcast_s"] = cpu * 1000 / kBroadcastSeconds;
    state.counters["rss_kib_per_running_task"] = static_cast<double>(watcher.peak_kib() - idle_kib);
    // The first task of the process also sets up libcurl and its TLS library.
    state.counters["rss_kib_first_task"] = static_cast<double>(first_task_kib);
  }
  queue->Sync([&] {
    selvo::StopAllStreamingTasks();
    selvo::TerminateStreamingLibrary();
  });
}
BENCHMARK(BM_LiveBroadcast)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
