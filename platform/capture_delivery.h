// The output half of a capture source, shared by every implementation: it
// hands samples from the device's thread to the output's queue, drops a frame
// that comes while the previous one still waits there (late frames are
// discarded), caps the frame rate, and makes sure that nothing submitted
// before Stop reaches the handler afterwards.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>

#include "platform/capture.h"

namespace platform {

class VideoDelivery {
 public:
  void Configure(std::shared_ptr<DispatchQueue> queue, VideoFrameHandler handler, int frame_rate);
  void Activate();
  void Deactivate();
  // From any thread; true when the frame was submitted.
  bool Deliver(const VideoFrame& frame);
  int frame_rate() const;

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<DispatchQueue> queue_;
  std::shared_ptr<VideoFrameHandler> handler_;
  int frame_rate_ = 0;
  int64_t next_due_us_ = INT64_MIN;
  std::shared_ptr<std::atomic<bool>> active_;
  std::shared_ptr<std::atomic<bool>> waiting_;
};

class AudioDelivery {
 public:
  void Configure(std::shared_ptr<DispatchQueue> queue, AudioSamplesHandler handler);
  void Activate();
  void Deactivate();
  bool Deliver(const AudioSamples& samples);

 private:
  std::mutex mutex_;
  std::shared_ptr<DispatchQueue> queue_;
  std::shared_ptr<AudioSamplesHandler> handler_;
  std::shared_ptr<std::atomic<bool>> active_;
};

}  // namespace platform
