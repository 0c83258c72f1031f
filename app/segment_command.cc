// selvo segment: cuts finished recordings into the transport-stream pieces an upload of
// them would send, as files DIR/SSSSSS-PP.ts, with the same code the upload workers run.
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/args.h"
#include "app/command.h"
#include "app/recording_checks.h"
#include "engine/box_reader.h"
#include "engine/directory_piece_sink.h"
#include "engine/media_segmenter.h"
#include "engine/streaming_pass.h"

namespace app {

namespace {

constexpr long long kDefaultFrameRate = 10;

class PieceCounter : public selvo::PassObserver {
 public:
  void PieceAccepted(uint32_t, uint32_t, const selvo::StreamProgress&) override { ++pieces_; }
  int pieces() const { return pieces_; }

 private:
  int pieces_ = 0;
};

}  // namespace

int SegmentCommand(const GlobalOptions&, const std::vector<std::string>& args) {
  ArgParser parser;
  parser.Value("video").Value("audio").Value("video-sample").Value("audio-sample");
  parser.Value("frame-rate").Value("out");
  if (!parser.Parse(args)) return UsageError(parser.error());
  if (!parser.positional().empty()) {
    return UsageError("unexpected argument '" + parser.positional().front() + "'");
  }
  const auto audio = parser.Get("audio");
  const auto out = parser.Get("out");
  if (!audio || audio->empty()) return UsageError("segment needs --audio A");
  if (!out || out->empty()) return UsageError("segment needs --out DIR");
  const auto video = parser.Get("video");
  if (video && video->empty()) return UsageError("option --video needs a file");
  long long frame_rate = kDefaultFrameRate;
  if (auto text = parser.Get("frame-rate")) {
    auto value = ParseInteger(*text, 1, 1000);
    if (!value) return UsageError("--frame-rate needs a whole number from 1 to 1000");
    frame_rate = *value;
  }
  const std::string audio_sample = parser.GetOr("audio-sample", *audio);
  const std::string video_sample = video ? parser.GetOr("video-sample", *video) : "";
  if (!video && parser.Has("video-sample")) return UsageError("--video-sample needs --video");

  for (const std::string* path : {&*audio, video ? &*video : nullptr}) {
    if (!path) continue;
    const std::string problem = CheckRecording(*path);
    if (!problem.empty()) return Failure(problem);
  }

  selvo::MediaSegmenter segmenter;
  selvo::PassSetup setup;
  if (video) {
    bool is_amr = false;
    if (segmenter.InitMediaParameters(static_cast<uint32_t>(frame_rate), video_sample.c_str(),
                                      audio_sample.c_str(), &is_amr) != 1) {
      return Failure("cannot read H.264 parameters from the video sample " + video_sample);
    }
    setup.kind = is_amr ? selvo::StreamKind::kVideoOnly : selvo::StreamKind::kAudioVideo;
    if (is_amr) {
      std::fprintf(stderr, "selvo: %s is not AAC audio: the pieces carry video only\n",
                   audio_sample.c_str());
    }
    setup.video_path = *video;
  } else {
    if (segmenter.InitMediaParameters(audio_sample.c_str()) != 1) {
      return Failure("cannot read AAC parameters from the audio sample " + audio_sample);
    }
    setup.kind = selvo::StreamKind::kAudioOnly;
  }
  setup.audio_path = *audio;
  // Finished recordings, uploaded as a file task would upload them: from the start.
  std::atomic<int> stop{0};
  setup.control.stop = &stop;
  setup.control.pause = [](int) {};
  setup.control.recordings_final = true;
  setup.progress.video_position = 0;
  setup.progress.audio_position = 0;

  selvo::DirectoryPieceSink sink(*out);
  PieceCounter counter;
  selvo::PassOutcome outcome = selvo::RunStreamingPass(setup, segmenter, sink, &counter);
  if (outcome.next == selvo::kPassVideoOnly) {
    std::fprintf(stderr, "selvo: %s has no usable audio: the pieces carry video only\n",
                 audio->c_str());
    setup.kind = selvo::StreamKind::kVideoOnly;
    outcome = selvo::RunStreamingPass(setup, segmenter, sink, &counter);
  }
  if (outcome.next != selvo::kPassFinished || outcome.result != selvo::kResultCompleted ||
      !sink.committed()) {
    sink.Discard();
    if (outcome.result == selvo::kErrorMediaFile) {
      return Failure("the media data of " + (video ? *video + " or " : std::string()) + *audio +
                     " is damaged");
    }
    return Failure(sink.error().empty() ? "segmenting failed" : sink.error());
  }
  std::printf("%zu pieces written to %s\n", sink.written().size(), out->c_str());
  return 0;
}

}  // namespace app
