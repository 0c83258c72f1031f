#include "engine/streaming_worker.h"

#include <algorithm>
#include <climits>

namespace selvo {

namespace {

constexpr int kSecondPassDelayMs = 2000;

class WorkerRun final : public PassObserver {
 public:
  explicit WorkerRun(StreamingTaskImpl& task) : task_(task), run_(task.run) {}

  // Runs passes until one ends the run; reports how it ended.
  void Run(StreamKind kind) {
    bool recordings_final = task_.recordings_final;
    bool second_pass = false;
    StreamingResult result = kResultStopped;
    for (;;) {
      const PassOutcome outcome = Pass(kind, recordings_final);
      if (outcome.next == kPassVideoOnly && kind == StreamKind::kAudioVideo) {
        kind = StreamKind::kVideoOnly;
        continue;
      }
      if (outcome.next == kPassRecorderStopped && !second_pass) {
        // The recordings are final now: upload the rest of them from the last accepted
        // piece, once the recorder has certainly let go of them.
        second_pass = true;
        recordings_final = true;
        task_.waiter->Wait(kSecondPassDelayMs, task_.stop);
        if (task_.stop.load() == 1) break;
        continue;
      }
      if (outcome.next == kPassFinished) result = outcome.result;
      break;
    }
    // A stop that cut a request short is a stop, not a network failure.
    if (result < 0 && task_.stop.load() == 1) result = kResultStopped;
    Report(kTaskFinished, result);
  }

  void MediaLocated(const StreamProgress& progress) override { task_.progress.Store(progress); }

  void PieceAccepted(uint32_t segment, uint32_t piece, const StreamProgress& progress) override {
    task_.progress.Store(progress);
    if (kind_ == StreamKind::kAudioOnly) return;
    Report(kSecondsUploaded, static_cast<int32_t>(segment * 10 + piece - 10));
    const int64_t bytes = progress.video_position + progress.audio_position;
    Report(kBytesTransferred,
           static_cast<int32_t>(std::clamp<int64_t>(bytes, INT32_MIN, INT32_MAX)));
    WriteSnapshot(progress);
  }

 private:
  PassOutcome Pass(StreamKind kind, bool recordings_final) {
    kind_ = kind;
    PassSetup setup;
    setup.kind = kind;
    setup.video_path = task_.video_path;
    setup.audio_path = task_.audio_path;
    setup.progress = task_.progress.Load();
    setup.control.stop = &task_.stop;
    setup.control.recorder_stopped = &task_.recorder_stopped;
    setup.control.recordings_final = recordings_final;
    StreamingTaskImpl* task = &task_;
    setup.control.pause = [task](int milliseconds) {
      task->waiter->Wait(milliseconds, task->stop);
    };
    // A fresh upload stream per pass: every pass opens it again (cmd=0).
    std::unique_ptr<PieceSink> sink = task_.sink_factory(task_.sink_params);
    if (!sink) return {kPassFinished, kErrorNetwork};
    return RunStreamingPass(setup, task_.segmenter, *sink, this);
  }

  void WriteSnapshot(const StreamProgress& progress) {
    if (!task_.save) return;
    std::string line;
    task_.save(&line, TaskData{task_.url, task_.video_path, task_.audio_path, progress});
    // A snapshot that cannot be written only costs a re-upload from the list's position.
    WriteFileAtomically(SnapshotPath(task_.data_directory), line);
  }

  void Report(EventType event, int32_t value) {
    task_.notifier->NotifyAsync(event, &task_, value, task_.url, run_);
  }

  StreamingTaskImpl& task_;
  const uint64_t run_;
  StreamKind kind_ = StreamKind::kAudioVideo;
};

}  // namespace

void ThreadProcessAvcAacEntry(StreamingTaskImpl* impl) {
  WorkerRun(*impl).Run(StreamKind::kAudioVideo);
}

void ThreadProcessAvcAmrEntry(StreamingTaskImpl* impl) {
  WorkerRun(*impl).Run(StreamKind::kVideoOnly);
}

void ThreadProcessAacEntry(StreamingTaskImpl* impl) {
  WorkerRun(*impl).Run(StreamKind::kAudioOnly);
}

void RunStreamingWorker(StreamingTaskImpl* impl) {
  switch (impl->kind) {
    case StreamKind::kAudioVideo:
      ThreadProcessAvcAacEntry(impl);
      break;
    case StreamKind::kVideoOnly:
      ThreadProcessAvcAmrEntry(impl);
      break;
    case StreamKind::kAudioOnly:
      ThreadProcessAacEntry(impl);
      break;
  }
}

}  // namespace selvo
