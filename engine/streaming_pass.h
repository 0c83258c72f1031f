// One streaming pass: from the recording files to pieces in a PieceSink.
//
// A pass waits for the recordings to exist, finds their media data, opens the sink with
// a fresh segment header, and then interleaves video access units and AAC runs into
// transport-stream pieces of about one second each, ten pieces to a segment. After each
// piece the sink accepts, the task's progress (positions, counters, piece numbers) moves
// to just after it, so a later pass resumes exactly there. The pass ends when the media
// data ends (last piece, close), when the stop flag rises, when the recorder signals that
// the files are final (the caller then runs a second pass on the finished files), or on
// the first error.
//
// What goes into a piece depends only on the media, never on how the growing files were
// read: a unit interrupted by missing data is finished before anything else happens, and
// positions only ever advance to access-unit and run boundaries. So a live pass, a
// resumed pass and a pass over the finished files put the same bytes in the same pieces
// (a resumed pass just opens with its own segment header).
//
// A worker thread runs one pass per run of the task, for example:
//   PassSetup setup{StreamKind::kAudioVideo, video_path, audio_path, task_progress, control};
//   PassOutcome outcome = RunStreamingPass(setup, task_segmenter, upload_client, &task);
//   if (outcome.next == kPassFinished) report kTaskFinished with outcome.result;
//   if (outcome.next == kPassRecorderStopped) wait 2 s, then run again from the progress
//       the observer last received (the files are final now);
//   if (outcome.next == kPassVideoOnly) run again with StreamKind::kVideoOnly.
// The observer keeps the task's progress and writes its snapshot; nothing else of the task
// is touched by the pass, so its fields can stay in whatever form the task needs.
#pragma once

#include <cstdint>
#include <string>

#include "engine/media_segmenter.h"
#include "engine/piece_sink.h"
#include "engine/stream_control.h"

namespace selvo {

enum class StreamKind {
  kAudioVideo,  // H.264 and AAC
  kVideoOnly,   // H.264 (the audio is AMR, or unusable)
  kAudioOnly,   // AAC (a voice message)
};

// What a task keeps between passes and saves in its task files.
struct StreamProgress {
  // Bytes of each recording's media data consumed by accepted pieces; -1 = the media data
  // was not located yet (a growing file).
  int64_t video_position = -1;
  int64_t audio_position = -1;
  ContinuityCounter counter;
  uint32_t pat_counter = 0;
  uint32_t pmt_counter = 0;
  uint32_t segment = 1;  // of the next piece
  uint32_t piece = 1;    // of the next piece, 1 to 10
};

class PassObserver {
 public:
  virtual ~PassObserver() = default;
  // The media data was located in a growing file: positions went from -1 to 0.
  virtual void MediaLocated(const StreamProgress& progress) { (void)progress; }
  // The sink accepted piece (`segment`, `piece`); `progress` is where the task now stands
  // (what it should keep and save). Called on the pass's thread.
  virtual void PieceAccepted(uint32_t segment, uint32_t piece, const StreamProgress& progress) = 0;
};

struct PassSetup {
  StreamKind kind = StreamKind::kAudioVideo;
  std::string video_path;
  std::string audio_path;
  StreamProgress progress;  // where the task stands
  StreamControl control;
};

enum PassNext : int {
  kPassFinished = 0,         // report `result`
  kPassRecorderStopped = 1,  // nothing to report: run a second pass on the finished files
  kPassVideoOnly = 2,        // (audio and video) the audio cannot be used and none of it was sent
                             // yet: nothing to report, continue as video only
};

struct PassOutcome {
  PassNext next = kPassFinished;
  StreamingResult result = kResultCompleted;  // meaningful when next is kPassFinished
};

// Runs one pass with `segmenter` (whose media parameters were read from the sample files)
// into `sink`. `observer` may be null.
PassOutcome RunStreamingPass(const PassSetup& setup, MediaSegmenter& segmenter, PieceSink& sink,
                             PassObserver* observer);

}  // namespace selvo
