// AudioCaptureWriter: writes the microphone's samples into the audio-only
// recording file: AAC LC, 22050 Hz, one channel, 32 kbit/s, QuickTime.
//
// The engine plays the audio file and its partner video file from their time
// zero together, so both must start at the same instant: the capture time of
// the first picture written, given by StartAt. Until then the samples wait;
// sound captured before that instant is cut off to the sample, and a file
// whose first sound comes later begins with silence.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>

#include "capture/capture_writer.h"
#include "platform/media_sample.h"

namespace capture {

class AudioCaptureWriter final : public CaptureWriter {
 public:
  // At most this much sound waits for the start (older sound is dropped), and
  // at most this much silence is put before the first sound.
  static constexpr int64_t kMaxWaitUs = 2000000;

  AudioCaptureWriter() : CaptureWriter("audio") {}

  void InitMediaWriter() {}
  // Creates the writer and its input for `path`; true when both were made.
  bool StartWriting(const std::string& path);
  // One microphone sample; nothing without a writer.
  void DidOutputSampleBuffer(const platform::AudioSamples& samples);
  // The capture time that becomes time zero of the file; once per recording,
  // later calls change nothing.
  void StartAt(int64_t start_us);
  // Stops; sound still waiting for the start is dropped.
  bool StopWriting();

  static platform::AudioOutputSettings Settings();

 private:
  // Appends `samples`, the first of them cut or preceded by silence so that
  // the file begins at `start_us_`.
  void Write(const platform::AudioSamples& samples);

  std::optional<int64_t> start_us_;
  bool wrote_ = false;
  std::deque<platform::AudioSamples> waiting_;
};

}  // namespace capture
