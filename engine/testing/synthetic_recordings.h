// Test helper: hand-made recordings with the structure of real ones (length-prefixed NAL
// units, raw AAC frames, 'mdat' before 'moov'), for tests that need exact control.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine/testing/bit_writer.h"
#include "engine/testing/box_builder.h"

namespace selvo::testing {

// A raw AAC frame of `size` bytes (at least 21): fill elements, then silence and END.
inline Bytes AacFrame(size_t size, uint8_t fill = 0x5A) {
  // Each fill element takes 15 bits and 15 to 269 bytes; silence and END take 32 bits.
  size_t elements = 1;
  while (size - (15 * elements + 32 + 7) / 8 > 269 * elements) ++elements;
  size_t left = size - (15 * elements + 32 + 7) / 8;
  BitWriter w;
  for (size_t e = 0; e < elements; ++e) {
    const size_t rest = elements - e - 1;
    const size_t n = rest == 0 ? left : std::min<size_t>(269, left - 15 * rest);
    left -= n;
    w.Put(6, 3).Put(15, 4).Put(static_cast<uint32_t>(n - 14), 8);
    for (size_t i = 0; i < n; ++i) w.Put(fill, 8);
  }
  // Silence: SCE tag 0, gain 38, long window, no bands, no tools; then END.
  w.Put(0, 3).Put(0, 4).Put(38, 8).Put(0, 1).Put(1, 2).Put(0, 1).Put(0, 6).Put(0, 1).Put(0, 3);
  w.Put(7, 3);
  return w.bytes();
}

inline const Bytes& TestSps() {
  static const Bytes sps = {0x67, 0x42, 0xC0, 0x1E, 0xDA, 0x02};
  return sps;
}
inline const Bytes& TestPps() {
  static const Bytes pps = {0x68, 0xCE, 0x3C, 0x80};
  return pps;
}

struct SyntheticRecording {
  Bytes video_file;
  Bytes audio_file;
  std::vector<Bytes> video_frames;  // each frame's length-prefixed NAL units
  std::vector<Bytes> audio_frames;  // raw AAC frames
};

inline Bytes RecordingFile(const std::vector<Bytes>& samples) {
  Bytes media;
  for (const Bytes& sample : samples) media.insert(media.end(), sample.begin(), sample.end());
  return Cat({Ftyp(), Box("wide", {}), Box("mdat", media), Box("moov", Zeros(120))});
}

// `video_frames` frames at 10 fps with a key frame every 10 (the first after an SEI),
// `slices` slices each; frame `large_frame` (if any) is larger than a video read buffer.
// `audio_frames` AAC frames of varying sizes.
inline SyntheticRecording MakeSyntheticRecording(int video_frames, int audio_frames, int slices = 1,
                                                 int large_frame = -1) {
  SyntheticRecording r;
  for (int i = 0; i < video_frames; ++i) {
    Bytes frame;
    if (i == 0) frame = Nal(0x06, 20, 0x06);
    for (int s = 0; s < slices; ++s) {
      const size_t size = i == large_frame ? 150000 : 200 + static_cast<size_t>(i * 37 % 700);
      frame = Cat({frame, Nal(i % 10 == 0 ? 0x65 : 0x41, size, static_cast<uint8_t>(i + s))});
    }
    r.video_frames.push_back(frame);
  }
  for (int i = 0; i < audio_frames; ++i) {
    r.audio_frames.push_back(
        AacFrame(60 + static_cast<size_t>(i * 7 % 90), static_cast<uint8_t>(i)));
  }
  r.video_file = RecordingFile(r.video_frames);
  r.audio_file = RecordingFile(r.audio_frames);
  return r;
}

}  // namespace selvo::testing
