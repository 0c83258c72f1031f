// AudioCaptureWriter: writes the microphone's samples into the audio-only
// recording file: AAC LC, 22050 Hz, one channel, 32 kbit/s, QuickTime.
#pragma once

#include "capture/capture_writer.h"
#include "platform/media_sample.h"

namespace capture {

class AudioCaptureWriter final : public CaptureWriter {
 public:
  AudioCaptureWriter() : CaptureWriter("audio") {}

  void InitMediaWriter() {}
  // Creates the writer and its input for `path`; true when both were made.
  bool StartWriting(const std::string& path);
  // One microphone sample; nothing without a writer.
  void DidOutputSampleBuffer(const platform::AudioSamples& samples);

  static platform::AudioOutputSettings Settings();
};

}  // namespace capture
