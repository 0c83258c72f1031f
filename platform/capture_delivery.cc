#include "platform/capture_delivery.h"

namespace platform {

void VideoDelivery::Configure(std::shared_ptr<DispatchQueue> queue, VideoFrameHandler handler,
                              int frame_rate) {
  std::lock_guard lock(mutex_);
  queue_ = std::move(queue);
  handler_ = std::make_shared<VideoFrameHandler>(std::move(handler));
  frame_rate_ = frame_rate;
}

void VideoDelivery::Activate() {
  std::lock_guard lock(mutex_);
  active_ = std::make_shared<std::atomic<bool>>(true);
  waiting_ = std::make_shared<std::atomic<bool>>(false);
  next_due_us_ = INT64_MIN;
}

void VideoDelivery::Deactivate() {
  std::lock_guard lock(mutex_);
  if (active_) active_->store(false);
  active_.reset();
}

int VideoDelivery::frame_rate() const {
  std::lock_guard lock(mutex_);
  return frame_rate_;
}

bool VideoDelivery::Deliver(const VideoFrame& frame) {
  std::shared_ptr<DispatchQueue> queue;
  std::shared_ptr<VideoFrameHandler> handler;
  std::shared_ptr<std::atomic<bool>> active, waiting;
  {
    std::lock_guard lock(mutex_);
    if (!active_ || !queue_ || !handler_ || !*handler_) return false;
    if (frame_rate_ > 0) {
      // Keep the frames closest to a grid of the output rate: a 25 fps device
      // gives 10 a second, not one every other frame.
      const int64_t period = 1000000 / frame_rate_;
      if (next_due_us_ != INT64_MIN && frame.pts_us < next_due_us_ - period / 10) return false;
      if (next_due_us_ == INT64_MIN || frame.pts_us - next_due_us_ > period) {
        next_due_us_ = frame.pts_us;  // the first frame, or after a pause
      }
      next_due_us_ += period;
    }
    if (waiting_->exchange(true)) return false;  // the last one is still queued: late
    queue = queue_;
    handler = handler_;
    active = active_;
    waiting = waiting_;
  }
  queue->Async([frame, handler, active, waiting] {
    waiting->store(false);
    if (active->load()) (*handler)(frame);
  });
  return true;
}

void AudioDelivery::Configure(std::shared_ptr<DispatchQueue> queue, AudioSamplesHandler handler) {
  std::lock_guard lock(mutex_);
  queue_ = std::move(queue);
  handler_ = std::make_shared<AudioSamplesHandler>(std::move(handler));
}

void AudioDelivery::Activate() {
  std::lock_guard lock(mutex_);
  active_ = std::make_shared<std::atomic<bool>>(true);
}

void AudioDelivery::Deactivate() {
  std::lock_guard lock(mutex_);
  if (active_) active_->store(false);
  active_.reset();
}

bool AudioDelivery::Deliver(const AudioSamples& samples) {
  std::shared_ptr<DispatchQueue> queue;
  std::shared_ptr<AudioSamplesHandler> handler;
  std::shared_ptr<std::atomic<bool>> active;
  {
    std::lock_guard lock(mutex_);
    if (!active_ || !queue_ || !handler_ || !*handler_) return false;
    queue = queue_;
    handler = handler_;
    active = active_;
  }
  queue->Async([samples, handler, active] {
    if (active->load()) (*handler)(samples);
  });
  return true;
}

}  // namespace platform
