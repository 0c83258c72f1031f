#include "engine/streaming_pass.h"

#include <unistd.h>

#include <utility>
#include <vector>

namespace selvo {

namespace {

constexpr int kDataPollMs = 200;
constexpr uint64_t kPieceDurationUs = 1000000;
// Audio-only streams are paced by a clock that moves in these steps, so that each audio
// PES holds about this much sound.
constexpr uint64_t kPacingStepUs = 100000;
constexpr uint32_t kPiecesPerSegment = 10;
constexpr size_t kTsBufferCapacity = 262144;
constexpr size_t kAccessUnitCapacity = 32768;
constexpr uint8_t kAccessUnitDelimiter[6] = {0, 0, 0, 1, 0x09, 0xF0};

class Pass {
 public:
  Pass(const PassSetup& setup, MediaSegmenter& segmenter, PieceSink& sink, PassObserver* observer)
      : setup_(setup),
        control_(setup.control),
        segmenter_(segmenter),
        sink_(sink),
        observer_(observer),
        progress_(setup.progress),
        has_video_(setup.kind != StreamKind::kAudioOnly),
        has_audio_(setup.kind != StreamKind::kVideoOnly),
        audio_only_(setup.kind == StreamKind::kAudioOnly),
        pieces_{BufferWriter(kTsBufferCapacity), BufferWriter(kTsBufferCapacity)},
        unit_(kAccessUnitCapacity),
        video_(has_video_ ? kVideoPacketCapacity : 1),
        audio_(has_audio_ ? kAudioPacketCapacity : 1) {}

  ~Pass() {
    if (video_fd_ >= 0) ::close(video_fd_);
    if (audio_fd_ >= 0) ::close(audio_fd_);
  }

  PassOutcome Run();

 private:
  enum class Stream { kNone, kVideo, kAudio };

  static PassOutcome Finished(StreamingResult result) { return {kPassFinished, result}; }
  bool OpenFiles(PassOutcome* outcome);
  bool Locate(PassOutcome* outcome);
  bool Begin(PassOutcome* outcome);
  bool StepVideo(PassOutcome* outcome);
  bool StepAudio(PassOutcome* outcome);
  bool SendPiece(PassOutcome* outcome);
  PassOutcome Complete();
  Stream NextStream() const;
  bool PieceDue() const {
    return audio_only_ ? counter_.audio_time + segmenter_.audio_frame_duration() > boundary_
                       : counter_.video_time + segmenter_.video_frame_duration() > boundary_;
  }
  uint64_t BoundaryClock() const { return audio_only_ ? counter_.audio_time : counter_.video_time; }

  const PassSetup& setup_;
  const StreamControl& control_;
  MediaSegmenter& segmenter_;
  PieceSink& sink_;
  PassObserver* observer_;
  StreamProgress progress_;
  const bool has_video_;
  const bool has_audio_;
  const bool audio_only_;

  // The working state of the pass; progress_ takes it over at each accepted piece.
  ContinuityCounter counter_;
  uint32_t pat_counter_ = 0;
  uint32_t pmt_counter_ = 0;
  uint64_t boundary_ = 0;
  // The piece being built, and the one before it: a sink may still be writing that one
  // (PieceSink's contract), so the two take turns.
  BufferWriter pieces_[2];
  int current_ = 0;
  BufferWriter& ts() { return pieces_[current_]; }
  AccessUnitState unit_;
  AudioRunState run_;
  MediaPacket video_;
  MediaPacket audio_;
  PacketProcessState video_state_ = kPacketEmpty;
  PacketProcessState audio_state_ = kPacketEmpty;
  PacketDataState video_end_;
  PacketDataState audio_end_;
  uint64_t video_taken_ = 0;  // media bytes in pieces not yet accepted
  uint64_t audio_taken_ = 0;
  Stream open_ = Stream::kNone;  // a unit interrupted by missing data
  int video_fd_ = -1;
  int audio_fd_ = -1;
};

bool Pass::OpenFiles(PassOutcome* outcome) {
  std::vector<std::pair<std::string, int>> files;
  if (has_video_) files.emplace_back(setup_.video_path, -1);
  if (has_audio_) files.emplace_back(setup_.audio_path, -1);
  if (!WaitMediaReady(control_, files)) {
    const bool flagged = control_.StopRequested() || control_.RecorderStopped();
    *outcome = Finished(flagged ? kResultStopped : kErrorMediaFile);
    return false;
  }
  size_t i = 0;
  if (has_video_) video_fd_ = files[i++].second;
  if (has_audio_) audio_fd_ = files[i++].second;
  return true;
}

bool Pass::Locate(PassOutcome* outcome) {
  const bool was_located = (!has_video_ || progress_.video_position >= 0) &&
                           (!has_audio_ || progress_.audio_position >= 0);
  if (has_video_) {
    const int r =
        SeekToMediaBoxOffset(control_, video_fd_, progress_.video_position, video_, video_state_);
    if (r != 1) {
      *outcome = Finished(r == 0 ? kResultStopped : kErrorMediaFile);
      return false;
    }
  }
  if (has_audio_) {
    const int64_t saved = progress_.audio_position;
    const int r =
        SeekToMediaBoxOffset(control_, audio_fd_, progress_.audio_position, audio_, audio_state_);
    if (r == 0) {
      *outcome = Finished(kResultStopped);
      return false;
    }
    if (r == -1) {
      *outcome = setup_.kind == StreamKind::kAudioVideo && saved == 0
                     ? PassOutcome{kPassVideoOnly, kResultCompleted}
                     : Finished(kErrorMediaFile);
      return false;
    }
  }
  if (!was_located && observer_) observer_->MediaLocated(progress_);
  return true;
}

bool Pass::Begin(PassOutcome* outcome) {
  counter_ = progress_.counter;
  pat_counter_ = progress_.pat_counter;
  pmt_counter_ = progress_.pmt_counter;
  boundary_ = BoundaryClock() + kPieceDurationUs;
  segmenter_.ResetNalCounter();
  segmenter_.MakeTSHeader(ts(), pat_counter_++, pmt_counter_++, has_video_, has_audio_);
  unit_.Clear();
  unit_.AppendCopy(kAccessUnitDelimiter, sizeof(kAccessUnitDelimiter));
  if (audio_only_) counter_.video_time += kPacingStepUs;
  const SinkStatus status = sink_.Open(has_video_ ? setup_.video_path : std::string());
  if (status != SinkStatus::kOk) {
    *outcome = Finished(ResultForSinkStatus(status));
    return false;
  }
  return true;
}

Pass::Stream Pass::NextStream() const {
  if (!has_audio_) return Stream::kVideo;
  if (!has_video_) return Stream::kAudio;
  if (open_ != Stream::kNone) return open_;
  return counter_.video_time <= counter_.audio_time ? Stream::kVideo : Stream::kAudio;
}

bool Pass::SendPiece(PassOutcome* outcome) {
  const SinkStatus status =
      sink_.Piece(progress_.segment, progress_.piece, ts().data(), ts().size());
  if (status != SinkStatus::kOk) {
    *outcome = Finished(ResultForSinkStatus(status));
    return false;
  }
  current_ ^= 1;
  ts().Clear();
  if (has_video_) progress_.video_position += static_cast<int64_t>(video_taken_);
  if (has_audio_) progress_.audio_position += static_cast<int64_t>(audio_taken_);
  video_taken_ = 0;
  audio_taken_ = 0;
  progress_.pat_counter = pat_counter_;
  progress_.pmt_counter = pmt_counter_;
  progress_.counter = counter_;
  boundary_ = BoundaryClock() + kPieceDurationUs;

  const uint32_t sent_segment = progress_.segment;
  const uint32_t sent_piece = progress_.piece;
  if (progress_.piece >= kPiecesPerSegment) {
    ++progress_.segment;
    progress_.piece = 1;
    unit_.nal_history = 0;
    segmenter_.MakeTSHeader(ts(), pat_counter_++, pmt_counter_++, has_video_, has_audio_);
  } else {
    ++progress_.piece;
  }
  if (observer_) observer_->PieceAccepted(sent_segment, sent_piece, progress_);
  return true;
}

bool Pass::StepVideo(PassOutcome* outcome) {
  const int r = segmenter_.MakeVideoPESAvc(ts(), video_, counter_, video_end_, unit_);
  if (r == kPacketFull) {
    *outcome = Finished(kErrorMediaFile);
    return false;
  }
  video_state_ = static_cast<PacketProcessState>(r);
  video_taken_ += unit_.written_bytes;
  unit_.written_bytes = 0;
  open_ = r == kPacketNeedData ? Stream::kVideo : Stream::kNone;
  if (r != kPacketNeedData && !audio_only_ && PieceDue() && !SendPiece(outcome)) return false;
  if (r == kPacketConsumed) {
    video_.Reset();
    video_state_ = kPacketEmpty;
  }
  return true;
}

bool Pass::StepAudio(PassOutcome* outcome) {
  if (audio_only_ && !run_.open && counter_.video_time < counter_.audio_time) {
    counter_.video_time += kPacingStepUs;
    return true;
  }
  const int r = segmenter_.MakeAudioPES(ts(), audio_, counter_, audio_end_, run_);
  audio_state_ = static_cast<PacketProcessState>(r);
  audio_taken_ += run_.written_bytes;
  run_.written_bytes = 0;
  open_ = r == kPacketNeedData && run_.open ? Stream::kAudio : Stream::kNone;
  if (audio_only_ && !run_.open && PieceDue() && !SendPiece(outcome)) return false;
  if (r == kPacketConsumed) {
    audio_.Reset();
    audio_state_ = kPacketEmpty;
  }
  return true;
}

PassOutcome Pass::Complete() {
  if (run_.open) {
    segmenter_.FlushAudioRun(ts(), audio_, counter_, run_);
    audio_taken_ += run_.written_bytes;
    run_.written_bytes = 0;
  }
  if (!ts().empty()) {
    const SinkStatus status =
        sink_.Piece(progress_.segment, progress_.piece, ts().data(), ts().size());
    if (status != SinkStatus::kOk) return Finished(ResultForSinkStatus(status));
  }
  sink_.Close();
  return Finished(kResultCompleted);
}

PassOutcome Pass::Run() {
  PassOutcome outcome;
  if (!OpenFiles(&outcome) || !Locate(&outcome) || !Begin(&outcome)) return outcome;

  for (;;) {
    if (video_end_.end || audio_end_.end) return Complete();
    if (control_.StopRequested()) return Finished(kResultStopped);

    const Stream stream = NextStream();
    const bool video = stream == Stream::kVideo;
    MediaPacket& packet = video ? video_ : audio_;
    PacketProcessState& state = video ? video_state_ : audio_state_;
    state = ReadMediaData(video ? video_fd_ : audio_fd_, packet, state);
    if (state == kPacketFull) return Finished(kErrorMediaFile);
    if (state == kPacketData) {
      if (!(video ? StepVideo(&outcome) : StepAudio(&outcome))) return outcome;
      continue;
    }
    // Nothing new in this file: wait, unless the recorder finished or the data ended.
    control_.Pause(kDataPollMs);
    if (control_.RecorderStopped()) {
      control_.recorder_stopped->fetch_sub(1);
      return {kPassRecorderStopped, kResultCompleted};
    }
    if (packet.AtEnd()) (video ? video_end_ : audio_end_).end = 1;
  }
}

}  // namespace

PassOutcome RunStreamingPass(const PassSetup& setup, MediaSegmenter& segmenter, PieceSink& sink,
                             PassObserver* observer) {
  Pass pass(setup, segmenter, sink, observer);
  return pass.Run();
}

}  // namespace selvo
