#include "capture/audio_capture_writer.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/log.h"

namespace capture {
namespace {

int64_t DurationUs(const platform::AudioSamples& s) {
  return static_cast<int64_t>(s.frames()) * 1000000 / s.sample_rate;
}

// Whole samples (per channel) in `us` at `rate`, rounded to the nearest.
int64_t FramesIn(int64_t us, int rate) {
  return (us * rate + (us >= 0 ? 500000 : -500000)) / 1000000;
}

}  // namespace

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
  start_us_.reset();
  wrote_ = false;
  waiting_.clear();
  return true;
}

bool AudioCaptureWriter::StopWriting() {
  waiting_.clear();
  start_us_.reset();
  return CaptureWriter::StopWriting();
}

void AudioCaptureWriter::DidOutputSampleBuffer(const platform::AudioSamples& samples) {
  if (!asset_writer_ || samples.frames() <= 0 || samples.sample_rate <= 0 ||
      samples.channels <= 0) {
    return;
  }
  if (start_us_) {
    Write(samples);
    return;
  }
  waiting_.push_back(samples);
  while (waiting_.back().pts_us - waiting_.front().pts_us > kMaxWaitUs) waiting_.pop_front();
}

void AudioCaptureWriter::StartAt(int64_t start_us) {
  if (!asset_writer_ || start_us_) return;
  start_us_ = start_us;
  std::deque<platform::AudioSamples> waiting;
  waiting.swap(waiting_);
  for (const platform::AudioSamples& samples : waiting) Write(samples);
}

void AudioCaptureWriter::Write(const platform::AudioSamples& samples) {
  platform::AudioSamples out = samples;
  if (!wrote_) {
    const int64_t start = *start_us_;
    if (samples.pts_us + DurationUs(samples) <= start) return;  // all before the start
    const int channels = samples.channels;
    const int64_t offset = FramesIn(samples.pts_us - start, samples.sample_rate);
    const int64_t silence =
        std::clamp<int64_t>(offset, 0, FramesIn(kMaxWaitUs, samples.sample_rate));
    const int64_t cut = std::clamp<int64_t>(-offset, 0, samples.frames());
    if (cut == samples.frames()) return;
    if (silence > 0 || cut > 0) {
      auto data = std::make_shared<std::vector<int16_t>>(static_cast<size_t>(silence * channels),
                                                         int16_t{0});
      data->insert(data->end(), samples.samples->begin() + cut * channels, samples.samples->end());
      out.samples = std::move(data);
      out.pts_us = start;
    }
    if (!ReadyForSample(start)) return;
    wrote_ = true;
  } else if (!ReadyForSample(samples.pts_us)) {
    return;
  }
  if (!asset_writer_->AppendAudio(out)) ShowError(asset_writer_->error());
}

}  // namespace capture
