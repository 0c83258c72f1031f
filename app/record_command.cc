// selvo record: records from the test camera and microphone, the machine's
// camera and microphone, or a media file played in real time, into the two
// recording files the streaming engine reads (H.264 video and AAC audio, each
// in its own QuickTime file that grows while recording), without broadcasting.
// The sample files are recorded first when they are missing.
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "app/args.h"
#include "app/capture_sources.h"
#include "app/command.h"
#include "app/streaming_engine.h"
#include "capture/media_capture_writer_host.h"
#include "platform/capture.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/linux/linux_dispatcher.h"
#include "platform/linux/linux_environment.h"
#include "platform/log.h"

namespace app {
namespace {

using std::chrono::steady_clock;

double CpuSeconds() {
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::string Kilobytes(const std::string& path) {
  auto info = platform::DefaultFileSystem().Stat(path);
  char text[32];
  std::snprintf(text, sizeof text, "%.1f kB", info ? static_cast<double>(info->size) / 1000 : 0.0);
  return text;
}

std::string Clock(int seconds) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", seconds / 3600, seconds / 60 % 60,
                seconds % 60);
  return text;
}

// Moves a finished file into `dir`; returns the new path (the old one on failure).
std::string MoveInto(const std::string& path, const std::string& dir) {
  namespace fs = std::filesystem;
  const fs::path target = fs::path(dir) / fs::path(path).filename();
  std::error_code error;
  fs::rename(path, target, error);
  if (error) {  // another file system
    fs::copy_file(path, target, fs::copy_options::overwrite_existing, error);
    if (error) return path;
    fs::remove(path, error);
  }
  return target.string();
}

class Recording {
 public:
  Recording(capture::MediaCaptureWriterHost& host, int duration, std::optional<std::string> out)
      : host_(host), duration_(duration), out_(std::move(out)) {}

  void Begin() {
    host_.SetupCaptureWithBlock([this] {
      if (!host_.setup_errors().empty()) {
        Finish(1, "cannot record: " + host_.setup_errors().front());
        return;
      }
      host_.OpenCaptpure();
      if (!host_.HasSampleVideoAndAudioFile()) {
        std::printf("samples: recording the sample files first (3 s)\n");
        std::fflush(stdout);
      }
      host_.StartWritingWithVideoUuid(platform::DefaultEnvironment().NewUuid(), 0,
                                      [this](bool ok) { Started(ok); });
    });
  }

  // Ctrl-C or SIGTERM: stop now (the files are finished properly).
  void Interrupt() {
    if (!started_) {
      interrupted_before_start_ = true;
      return;
    }
    Stop();
  }

  bool done() const { return done_.load(); }
  int status() const { return status_; }

 private:
  void Started(bool ok) {
    if (!ok) {
      Finish(1, "recording did not start (see --verbose for why)");
      return;
    }
    started_ = true;
    video_ = host_.current_video_path();
    audio_ = host_.current_audio_path();
    std::printf("video: %s\naudio: %s\nthumbnail: %s.jpg\n", video_.c_str(), audio_.c_str(),
                video_.c_str());
    std::fflush(stdout);
    start_ = steady_clock::now();
    cpu_start_ = CpuSeconds();
    if (interrupted_before_start_) {
      Stop();
      return;
    }
    timer_ = platform::DefaultDispatcher().ScheduleRepeating(
        platform::MainQueue(), std::chrono::seconds(1), [this] { Tick(); });
  }

  void Tick() {
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::seconds>(steady_clock::now() - start_);
    std::fprintf(stderr, "recording %s  video %s  audio %s\n",
                 Clock(static_cast<int>(elapsed.count())).c_str(), Kilobytes(video_).c_str(),
                 Kilobytes(audio_).c_str());
    if (elapsed.count() >= duration_) Stop();
  }

  void Stop() {
    if (stopping_) return;
    stopping_ = true;
    timer_.reset();
    host_.StopWritingWithBlock([this](const capture::StoppedRecording& stopped) {
      const double seconds = std::chrono::duration<double>(steady_clock::now() - start_).count();
      const double cpu = CpuSeconds() - cpu_start_;
      host_.CloseCapture();
      std::string video = stopped.video_path, audio = stopped.audio_path;
      std::string thumbnail = video + ".jpg";
      if (out_) {
        video = MoveInto(video, *out_);
        audio = MoveInto(audio, *out_);
        thumbnail = MoveInto(thumbnail, *out_);
        std::printf("video: %s\naudio: %s\nthumbnail: %s\n", video.c_str(), audio.c_str(),
                    thumbnail.c_str());
      }
      std::printf("recorded: %.1f s, video %s%s, audio %s%s\n", seconds, Kilobytes(video).c_str(),
                  stopped.video_finished ? "" : " (unfinished)", Kilobytes(audio).c_str(),
                  stopped.audio_finished ? "" : " (unfinished)");
      std::fprintf(stderr, "cpu: %.1f%% of one core (%.2f s over %.1f s of recording)\n",
                   seconds > 0 ? 100 * cpu / seconds : 0.0, cpu, seconds);
      std::fflush(stdout);
      if (stopped.video_finished && stopped.audio_finished) {
        Finish(0, "");
      } else {
        Finish(1, "the recording files could not be finished (see --verbose for why)");
      }
    });
  }

  void Finish(int status, const std::string& message) {
    if (!message.empty()) Failure(message);
    status_ = status;
    done_.store(true);
  }

  capture::MediaCaptureWriterHost& host_;
  const int duration_;
  const std::optional<std::string> out_;
  std::string video_, audio_;
  bool started_ = false, stopping_ = false, interrupted_before_start_ = false;
  steady_clock::time_point start_;
  double cpu_start_ = 0;
  std::unique_ptr<platform::Timer> timer_;
  std::atomic<bool> done_{false};
  int status_ = 0;
};

}  // namespace

int RecordCommand(const GlobalOptions& options, const std::vector<std::string>& args) {
  ArgParser parser;
  parser.Value("source").Value("duration").Value("out");
  if (!parser.Parse(args)) return UsageError(parser.error());
  if (!parser.positional().empty()) return UsageError("record takes no positional arguments");
  const std::string source = parser.GetOr("source", "test");
  if (source.empty()) return UsageError("--source needs test, camera or a file");
  auto duration = ParseInteger(parser.GetOr("duration", "10"), 1, 24 * 3600);
  if (!duration) return UsageError("--duration must be a whole number of seconds from 1 to 86400");
  std::optional<std::string> out = parser.Get("out");
  if (out && !std::filesystem::is_directory(*out)) {
    return UsageError("--out " + *out + " is not a directory");
  }

  platform::SetVerboseLogging(options.verbose);
  platform::LinuxEnvironment environment(options.data_dir);
  platform::SetDefaultEnvironment(&environment);
  std::string error;
  auto devices = CaptureDevicesFor(source, &error);
  if (!devices) {
    platform::SetDefaultEnvironment(nullptr);
    return Failure(error);
  }
  platform::SetDefaultCaptureDevices(devices.get());

  int status = 1;
  {
    auto& dispatcher = platform::LinuxDispatcher::Machine();
    // No engine here: the recording is only written (the engine only judges the samples).
    capture::LiveStreamingHooks hooks;
    hooks.check_sample_files = CheckSampleFiles;
    capture::MediaCaptureWriterHost host(dispatcher.CreateSerialQueue("com.selvo.queue"), hooks);
    // A camera on a desk is upright in landscape: the track is not turned.
    host.SetDeviceOrientation(3);
    Recording recording(host, static_cast<int>(*duration), out);

    // Ctrl-C and SIGTERM (blocked in every thread) stop the recording cleanly;
    // a second one ends the process at once.
    std::atomic<bool> quit{false};
    std::thread signals([&] {
      sigset_t set;
      sigemptyset(&set);
      sigaddset(&set, SIGINT);
      sigaddset(&set, SIGTERM);
      int count = 0;
      while (!quit.load()) {
        struct timespec wait {
          0, 200 * 1000 * 1000
        };
        const int signo = sigtimedwait(&set, nullptr, &wait);
        if (signo <= 0) continue;
        if (++count > 1) _exit(128 + signo);
        platform::MainQueue().Async([&recording] { recording.Interrupt(); });
      }
    });
    platform::MainQueue().Async([&recording] { recording.Begin(); });
    dispatcher.RunMainLoopUntil([&] { return recording.done(); },
                                std::chrono::seconds(*duration + 120));
    quit.store(true);
    signals.join();
    if (!recording.done()) Failure("recording did not finish in time");
    status = recording.done() ? recording.status() : 1;
  }
  platform::SetDefaultCaptureDevices(nullptr);
  platform::SetDefaultEnvironment(nullptr);
  return status;
}

}  // namespace app
