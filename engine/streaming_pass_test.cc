#include "engine/streaming_pass.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/testing/box_builder.h"
#include "engine/testing/pass_fixtures.h"
#include "engine/testing/synthetic_recordings.h"
#include "engine/testing/temp_dir.h"
#include "engine/testing/ts_parser.h"

namespace selvo {
namespace {

using namespace selvo::testing;

class StreamingPassTest : public ::testing::Test {
 protected:
  void Write(const SyntheticRecording& recording) {
    WriteFile(video_path_, recording.video_file);
    WriteFile(audio_path_, recording.audio_file);
  }
  void InitSegmenter(int slices = 1) {
    WriteFile(dir_.File("video-sample.mov"), AvcSampleFile(TestSps(), TestPps(), slices));
    WriteFile(dir_.File("audio-sample.mov"), AacSampleFile());
    bool is_amr = true;
    ASSERT_EQ(segmenter_.InitMediaParameters(10, dir_.File("video-sample.mov").c_str(),
                                             dir_.File("audio-sample.mov").c_str(), &is_amr),
              1);
  }
  // A pass over finished recordings, as a file task runs it.
  PassSetup FinishedSetup(StreamKind kind = StreamKind::kAudioVideo) {
    PassSetup setup;
    setup.kind = kind;
    setup.video_path = video_path_;
    setup.audio_path = audio_path_;
    setup.progress.video_position = 0;
    setup.progress.audio_position = 0;
    setup.control.stop = &stop_;
    setup.control.recorder_stopped = &recorder_stopped_;
    setup.control.pause = [this](int) { ++pauses_; };
    setup.control.recordings_final = true;
    return setup;
  }

  TempDir dir_;
  std::string video_path_ = dir_.File("video.mov");
  std::string audio_path_ = dir_.File("audio.mov");
  MediaSegmenter segmenter_;
  std::atomic<int> stop_{0};
  std::atomic<int> recorder_stopped_{0};
  int pauses_ = 0;
};

TEST_F(StreamingPassTest, CutsOneSecondPiecesTenToASegment) {
  // 23.5 s of video, 24 s of audio: 24 pieces; one video frame is larger than a read buffer.
  const SyntheticRecording recording = MakeSyntheticRecording(235, 517, 1, 42);
  Write(recording);
  InitSegmenter();
  FakeSink sink;
  ProgressLog log;
  const PassOutcome outcome = RunStreamingPass(FinishedSetup(), segmenter_, sink, &log);
  EXPECT_EQ(outcome.next, kPassFinished);
  EXPECT_EQ(outcome.result, kResultCompleted);
  EXPECT_EQ(sink.opened, std::vector<std::string>{video_path_});
  EXPECT_EQ(sink.closed, 1);

  ASSERT_EQ(sink.pieces.size(), 24u);
  for (size_t i = 0; i < sink.pieces.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(sink.pieces[i].segment, 1 + i / 10);
    EXPECT_EQ(sink.pieces[i].piece, 1 + i % 10);
    EXPECT_EQ(StartsWithTables(sink.pieces[i].data), i % 10 == 0);
  }
  // Every piece but the last was accepted and reported, with the numbers of the next.
  ASSERT_EQ(log.sent.size(), 23u);
  EXPECT_EQ(log.after.back().segment, 3u);
  EXPECT_EQ(log.after.back().piece, 4u);

  // The elementary streams: continuity counters never jump, timestamps rise from 0 in
  // steps of one frame, and every access unit and AAC frame is there, in order.
  const Streams streams = Demux(sink.pieces);
  ASSERT_EQ(streams.error, "");
  std::vector<Pes> video;
  std::vector<Pes> audio;
  for (const Pes& pes : streams.pes) (pes.pid == 0x0100 ? video : audio).push_back(pes);
  ASSERT_GE(video.size(), 234u);
  for (size_t i = 0; i < video.size(); ++i) {
    EXPECT_EQ(video[i].pts, 9000 * i);
    Bytes unit = {0, 0, 0, 1, 0x09, 0xF0};
    if (i == 0) {
      unit = Cat(
          {unit, Bytes{0, 0, 0, 1},
           Bytes(recording.video_frames[0].begin() + 4, recording.video_frames[0].begin() + 25)});
    }
    if (i % 10 == 0) unit = Cat({unit, Bytes{0, 0, 0, 1}, TestSps(), Bytes{0, 0, 0, 1}, TestPps()});
    const Bytes& frame = recording.video_frames[i];
    const size_t slice = i == 0 ? 25 : 0;
    unit = Cat({unit, Bytes{0, 0, 0, 1},
                Bytes(frame.begin() + static_cast<long>(slice) + 4, frame.end())});
    ASSERT_EQ(video[i].payload, unit) << "access unit " << i;
  }
  Bytes adts;
  for (const Pes& pes : audio) adts = Cat({adts, pes.payload});
  size_t frames = 0;
  for (size_t at = 0; at < adts.size(); ++frames) {
    const size_t length = ((adts[at + 3] & 3u) << 11) | (adts[at + 4] << 3) | (adts[at + 5] >> 5);
    ASSERT_EQ(Bytes(adts.begin() + static_cast<long>(at + 7),
                    adts.begin() + static_cast<long>(at + length)),
              recording.audio_frames[frames]);
    at += length;
  }
  EXPECT_GE(frames, 505u);  // the pass ends with the shorter stream
  uint64_t last = 0;
  for (size_t i = 0; i < audio.size(); ++i) {
    if (i > 0) {
      EXPECT_GT(audio[i].pts, last);
    }
    last = audio[i].pts;
  }
  EXPECT_EQ(audio.front().pts, 0u);
  // The first PES of each segment carries the PCR.
  EXPECT_TRUE(video[0].pcr_in_first_packet);
  EXPECT_FALSE(video[1].pcr_in_first_packet);
}

TEST_F(StreamingPassTest, AResumedPassContinuesAfterTheLastAcceptedPiece) {
  const SyntheticRecording recording = MakeSyntheticRecording(150, 330, 2);
  Write(recording);
  InitSegmenter(2);
  FakeSink whole;
  ASSERT_EQ(RunStreamingPass(FinishedSetup(), segmenter_, whole, nullptr).result, kResultCompleted);
  ASSERT_EQ(whole.pieces.size(), 16u);  // the last holds the audio after the last video frame

  struct Case {
    SinkStatus failure;
    StreamingResult result;
  };
  for (const Case& c : {Case{SinkStatus::kFailed, kErrorNetwork},
                        Case{SinkStatus::kUnauthorized, kErrorAccessToken},
                        Case{SinkStatus::kTooLarge, kErrorHttpBufferOverflow}}) {
    SCOPED_TRACE(static_cast<int>(c.result));
    // The 12th piece fails: the task stands after the 11th.
    FakeSink failing;
    failing.fail_at = 12;
    failing.failure = c.failure;
    ProgressLog log;
    const PassOutcome failed = RunStreamingPass(FinishedSetup(), segmenter_, failing, &log);
    EXPECT_EQ(failed.next, kPassFinished);
    EXPECT_EQ(failed.result, c.result);
    EXPECT_EQ(failing.closed, 0);
    ASSERT_EQ(log.after.size(), 11u);
    EXPECT_EQ(log.after.back().segment, 2u);
    EXPECT_EQ(log.after.back().piece, 2u);

    // Resumed as a worker's second pass does: reading the finished files, not mapping them.
    PassSetup resume = FinishedSetup();
    resume.control.recordings_final = false;
    resume.progress = log.after.back();
    FakeSink rest;
    ASSERT_EQ(RunStreamingPass(resume, segmenter_, rest, nullptr).result, kResultCompleted);
    ASSERT_EQ(rest.pieces.size(), 5u);
    EXPECT_EQ(rest.pieces[0].segment, 2u);
    EXPECT_EQ(rest.pieces[0].piece, 2u);
    EXPECT_TRUE(StartsWithTables(rest.pieces[0].data));  // a pass opens with its tables
    // The media after the last accepted piece is exactly what the uninterrupted pass sent.
    ASSERT_NO_FATAL_FAILURE(
        ExpectSameStreams({whole.pieces.begin() + 11, whole.pieces.end()}, rest.pieces));
    for (size_t i = 1; i < rest.pieces.size(); ++i) {
      EXPECT_EQ(rest.pieces[i].data.size(), whole.pieces[11 + i].data.size());
    }
  }
}

TEST_F(StreamingPassTest, AGrowingRecordingGivesThePiecesOfTheFinishedOne) {
  const SyntheticRecording recording = MakeSyntheticRecording(80, 175, 1, 30);
  Write(recording);
  InitSegmenter();
  FakeSink finished;
  ASSERT_EQ(RunStreamingPass(FinishedSetup(), segmenter_, finished, nullptr).result,
            kResultCompleted);

  for (size_t chunk : {777u, 5000u, 40000u}) {
    SCOPED_TRACE(chunk);
    // The recorder appends `chunk` bytes to each file whenever the pass waits, and says
    // that it stopped once the files are complete.
    TempDir live;
    const std::string video = live.File("video.mov");
    const std::string audio = live.File("audio.mov");
    size_t video_written = 0;
    size_t audio_written = 0;
    PassSetup setup = FinishedSetup();
    setup.video_path = video;
    setup.audio_path = audio;
    setup.progress.video_position = -1;
    setup.progress.audio_position = -1;
    setup.control.recordings_final = false;
    setup.control.pause = [&](int) {
      auto grow = [&](const std::string& path, const Bytes& file, size_t& written) {
        const size_t n = std::min(chunk, file.size() - written);
        AppendFile(path, Bytes(file.begin() + static_cast<long>(written),
                               file.begin() + static_cast<long>(written + n)));
        written += n;
      };
      grow(video, recording.video_file, video_written);
      grow(audio, recording.audio_file, audio_written);
      if (video_written == recording.video_file.size() &&
          audio_written == recording.audio_file.size()) {
        recorder_stopped_ = 1;
      }
    };
    FakeSink growing;
    ProgressLog log;
    const PassOutcome first = RunStreamingPass(setup, segmenter_, growing, &log);
    ASSERT_EQ(first.next, kPassRecorderStopped);
    ASSERT_EQ(log.located.size(), 1u);
    EXPECT_EQ(log.located[0].video_position, 0);
    EXPECT_EQ(log.located[0].audio_position, 0);
    ASSERT_GE(log.after.size(), 1u);

    PassSetup second_setup = FinishedSetup();
    second_setup.video_path = video;
    second_setup.audio_path = audio;
    second_setup.progress = log.after.back();
    FakeSink rest;
    ASSERT_EQ(RunStreamingPass(second_setup, segmenter_, rest, nullptr).result, kResultCompleted);
    ExpectSameAsFinished(finished.pieces, growing.pieces, log.after.size(), rest.pieces);
  }
}

TEST_F(StreamingPassTest, TheRecorderStoppingEndsThePassForASecondOne) {
  const SyntheticRecording recording = MakeSyntheticRecording(60, 130);
  Write(recording);
  InitSegmenter();
  FakeSink finished;
  ASSERT_EQ(RunStreamingPass(FinishedSetup(), segmenter_, finished, nullptr).result,
            kResultCompleted);

  // Live: the files hold 3.5 s of media, then the recorder stops and finishes them.
  TempDir live;
  const std::string video = live.File("video.mov");
  const std::string audio = live.File("audio.mov");
  size_t video_part = Ftyp().size() + 16;
  for (int i = 0; i < 35; ++i) video_part += recording.video_frames[static_cast<size_t>(i)].size();
  WriteFile(video, Bytes(recording.video_file.begin(),
                         recording.video_file.begin() + static_cast<long>(video_part)));
  WriteFile(audio, Bytes(recording.audio_file.begin(), recording.audio_file.begin() + 3000));
  PassSetup setup = FinishedSetup();
  setup.video_path = video;
  setup.audio_path = audio;
  setup.progress.video_position = -1;
  setup.progress.audio_position = -1;
  setup.control.recordings_final = false;
  setup.control.pause = [&](int milliseconds) {
    if (milliseconds < 200) return;  // waiting for the files: they are there
    WriteFile(video, recording.video_file);
    WriteFile(audio, recording.audio_file);
    recorder_stopped_ = 1;
  };
  FakeSink first_sink;
  ProgressLog log;
  const PassOutcome first = RunStreamingPass(setup, segmenter_, first_sink, &log);
  EXPECT_EQ(first.next, kPassRecorderStopped);
  EXPECT_EQ(recorder_stopped_.load(), 0);  // taken back by the pass
  EXPECT_EQ(first_sink.closed, 0);
  ASSERT_GE(log.after.size(), 1u);
  ASSERT_LT(log.after.size(), 4u);

  // The second pass resumes on the finished files from the last accepted piece.
  PassSetup second_setup = FinishedSetup();
  second_setup.video_path = video;
  second_setup.audio_path = audio;
  second_setup.progress = log.after.back();
  FakeSink second_sink;
  ASSERT_EQ(RunStreamingPass(second_setup, segmenter_, second_sink, nullptr).result,
            kResultCompleted);
  ExpectSameAsFinished(finished.pieces, first_sink.pieces, log.after.size(), second_sink.pieces);
}

TEST_F(StreamingPassTest, StopsWhenAskedWithoutSendingWhatIsPending) {
  const SyntheticRecording recording = MakeSyntheticRecording(40, 90);
  // Only half of the media is there; the stop comes while the pass waits for more.
  Bytes video = recording.video_file;
  video.resize(video.size() / 2);
  WriteFile(video_path_, video);
  WriteFile(audio_path_, recording.audio_file);
  InitSegmenter();
  PassSetup setup = FinishedSetup();
  setup.progress.video_position = -1;
  setup.progress.audio_position = -1;
  setup.control.recordings_final = false;
  setup.control.pause = [&](int) { stop_ = 1; };
  FakeSink sink;
  ProgressLog log;
  const PassOutcome outcome = RunStreamingPass(setup, segmenter_, sink, &log);
  EXPECT_EQ(outcome.next, kPassFinished);
  EXPECT_EQ(outcome.result, kResultStopped);
  EXPECT_EQ(sink.pieces.size(), log.sent.size());
  EXPECT_EQ(sink.closed, 0);
}

TEST_F(StreamingPassTest, VoiceMessagesStreamAudioAlone) {
  const SyntheticRecording recording = MakeSyntheticRecording(1, 120);
  Write(recording);
  WriteFile(dir_.File("audio-sample.mov"), AacSampleFile());
  ASSERT_EQ(segmenter_.InitMediaParameters(dir_.File("audio-sample.mov").c_str()), 1);
  FakeSink sink;
  ProgressLog log;
  const PassOutcome outcome =
      RunStreamingPass(FinishedSetup(StreamKind::kAudioOnly), segmenter_, sink, &log);
  EXPECT_EQ(outcome.result, kResultCompleted);
  EXPECT_EQ(sink.opened, std::vector<std::string>{""});
  ASSERT_EQ(sink.pieces.size(), 6u);  // 5.57 s
  // The PMT lists audio only, with the PCR on the audio PID.
  const Bytes& first = sink.pieces[0].data;
  EXPECT_EQ(first[376 + 5 + 2], 0x18);
  EXPECT_EQ(first[376 + 5 + 9], 0x01);
  const Streams streams = Demux(sink.pieces);
  ASSERT_EQ(streams.error, "");
  ASSERT_GE(streams.pes.size(), 50u);
  EXPECT_TRUE(streams.pes[0].pcr_in_first_packet);
  // Paced by a 100 ms clock: each PES holds two or three frames of 46.4 ms.
  size_t frames = 0;
  for (size_t i = 0; i < streams.pes.size(); ++i) {
    EXPECT_EQ(streams.pes[i].pid, 0x0101);
    size_t in_pes = 0;
    for (size_t at = 0; at < streams.pes[i].payload.size(); ++in_pes) {
      at += (streams.pes[i].payload[at + 4] << 3) | (streams.pes[i].payload[at + 5] >> 5);
    }
    // The first reaches from 0 to 200 ms (the clock starts at 100 ms); the last is a rest.
    if (i == 0) {
      EXPECT_EQ(in_pes, 4u);
    } else if (i + 1 < streams.pes.size()) {
      EXPECT_TRUE(in_pes == 2 || in_pes == 3) << "PES " << i << ": " << in_pes;
    }
    frames += in_pes;
  }
  EXPECT_EQ(frames, 120u);
  EXPECT_EQ(log.after.size(), 5u);
}

TEST_F(StreamingPassTest, VideoAloneAndUnusableAudio) {
  const SyntheticRecording recording = MakeSyntheticRecording(25, 60);
  Write(recording);
  InitSegmenter();
  FakeSink video_only;
  ASSERT_EQ(RunStreamingPass(FinishedSetup(StreamKind::kVideoOnly), segmenter_, video_only, nullptr)
                .result,
            kResultCompleted);
  ASSERT_EQ(video_only.pieces.size(), 3u);
  EXPECT_EQ(video_only.pieces[0].data[376 + 5 + 2], 0x12);  // PMT: video only
  const Streams streams = Demux(video_only.pieces);
  EXPECT_EQ(streams.pes.size(), 25u);

  // An audio recording without media data, of a task that never sent audio: continue as
  // video only. While the recording grows, a buffer full without 'mdat' is a media error.
  WriteFile(audio_path_, Cat({Ftyp(), Box("free", Zeros(70000))}));
  FakeSink sink;
  const PassOutcome outcome = RunStreamingPass(FinishedSetup(), segmenter_, sink, nullptr);
  EXPECT_EQ(outcome.next, kPassVideoOnly);
  EXPECT_TRUE(sink.opened.empty());
  PassSetup live = FinishedSetup();
  live.progress.audio_position = -1;
  live.control.recordings_final = false;
  EXPECT_EQ(RunStreamingPass(live, segmenter_, sink, nullptr).result, kErrorMediaFile);
  PassSetup resumed = FinishedSetup();
  resumed.progress.audio_position = 100;
  EXPECT_EQ(RunStreamingPass(resumed, segmenter_, sink, nullptr).result, kErrorMediaFile);
}

TEST_F(StreamingPassTest, FilesThatAreMissingOrNeverCome) {
  InitSegmenter();
  FakeSink sink;
  // Finished recordings that do not exist: a media error at once.
  EXPECT_EQ(RunStreamingPass(FinishedSetup(), segmenter_, sink, nullptr).result, kErrorMediaFile);
  // A live recording stopped before its files appeared.
  PassSetup live = FinishedSetup();
  live.control.recordings_final = false;
  live.control.pause = [&](int) {
    if (++pauses_ == 3) recorder_stopped_ = 1;
  };
  EXPECT_EQ(RunStreamingPass(live, segmenter_, sink, nullptr).result, kResultStopped);
  EXPECT_TRUE(sink.opened.empty());
  // A sink that refuses the stream.
  recorder_stopped_ = 0;
  Write(MakeSyntheticRecording(5, 10));
  sink.open_status = SinkStatus::kUnauthorized;
  EXPECT_EQ(RunStreamingPass(FinishedSetup(), segmenter_, sink, nullptr).result, kErrorAccessToken);
  EXPECT_TRUE(sink.pieces.empty());
}

}  // namespace
}  // namespace selvo
