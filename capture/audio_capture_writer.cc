#include "capture/audio_capture_writer.h"

#include "platform/log.h"

namespace capture {

platform::AudioOutputSettings AudioCaptureWriter::Settings() {
  platform::AudioOutputSettings settings;
  settings.sample_rate = 22050;
  settings.channels = 1;
  settings.bit_rate_per_channel = 32000;
  settings.expects_media_data_in_real_time = true;
  return settings;
}

bool AudioCaptureWriter::StartWriting(const std::string& path) {
  if (!CreateWriter(path)) return false;
  if (!asset_writer_->AddAudioInput(Settings())) {
    platform::Log("Couldn't apply audio output settings.");
    ShowError(asset_writer_->error());
    DropWriter();
    return false;
  }
  return true;
}

void AudioCaptureWriter::DidOutputSampleBuffer(const platform::AudioSamples& samples) {
  if (!ReadyForSample(samples.pts_us)) return;
  if (!asset_writer_->AppendAudio(samples)) ShowError(asset_writer_->error());
}

}  // namespace capture
