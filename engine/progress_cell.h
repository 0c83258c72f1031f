// ProgressCell: a task's upload progress, written by its worker after every accepted piece
// and read at any time by the engine's queue (for display and for the task files).
//
// One writer at a time (the worker while it runs, the queue otherwise) stores a whole
// StreamProgress; readers always get one stored whole, never fields of two different
// pieces. Every field is an atomic and a sequence number tells a reader to read again
// when a store overlapped its read.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/streaming_pass.h"

namespace selvo {

class ProgressCell {
 public:
  explicit ProgressCell(const StreamProgress& progress = {}) { Store(progress); }
  ProgressCell(const ProgressCell&) = delete;
  ProgressCell& operator=(const ProgressCell&) = delete;

  void Store(const StreamProgress& progress) {
    const uint32_t sequence = sequence_.load();
    sequence_.store(sequence + 1);  // odd: a store is under way
    video_position_.store(progress.video_position);
    audio_position_.store(progress.audio_position);
    video_counter_.store(progress.counter.video_counter);
    audio_counter_.store(progress.counter.audio_counter);
    video_time_.store(progress.counter.video_time);
    audio_time_.store(progress.counter.audio_time);
    pat_counter_.store(progress.pat_counter);
    pmt_counter_.store(progress.pmt_counter);
    segment_.store(progress.segment);
    piece_.store(progress.piece);
    sequence_.store(sequence + 2);
  }

  StreamProgress Load() const {
    for (;;) {
      const uint32_t before = sequence_.load();
      StreamProgress p;
      p.video_position = video_position_.load();
      p.audio_position = audio_position_.load();
      p.counter.video_counter = video_counter_.load();
      p.counter.audio_counter = audio_counter_.load();
      p.counter.video_time = video_time_.load();
      p.counter.audio_time = audio_time_.load();
      p.pat_counter = pat_counter_.load();
      p.pmt_counter = pmt_counter_.load();
      p.segment = segment_.load();
      p.piece = piece_.load();
      // Sequentially consistent loads and stores: equal even numbers around the reads mean
      // no store overlapped them.
      if ((before & 1) == 0 && sequence_.load() == before) return p;
    }
  }

 private:
  std::atomic<uint32_t> sequence_{0};
  std::atomic<int64_t> video_position_{-1};
  std::atomic<int64_t> audio_position_{-1};
  std::atomic<uint32_t> video_counter_{0};
  std::atomic<uint32_t> audio_counter_{0};
  std::atomic<uint64_t> video_time_{0};
  std::atomic<uint64_t> audio_time_{0};
  std::atomic<uint32_t> pat_counter_{0};
  std::atomic<uint32_t> pmt_counter_{0};
  std::atomic<uint32_t> segment_{1};
  std::atomic<uint32_t> piece_{1};
};

}  // namespace selvo
