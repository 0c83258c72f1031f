#include "platform/linux/threaded_capture_source.h"

#include <chrono>

namespace platform {

int64_t CaptureClockNowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void ThreadedVideoSource::SetOutput(std::shared_ptr<DispatchQueue> queue, VideoFrameHandler handler,
                                    int frame_rate) {
  delivery_.Configure(std::move(queue), std::move(handler), frame_rate);
}

bool ThreadedVideoSource::Start(std::string* error) {
  if (thread_.joinable()) return true;
  stop_ = false;
  if (!Open(error)) return false;
  delivery_.Activate();
  thread_ = std::thread([this] { Run(); });
  return true;
}

void ThreadedVideoSource::Stop() {
  delivery_.Deactivate();
  stop_ = true;
  if (!thread_.joinable()) return;
  thread_.join();
  Close();
}

void ThreadedAudioSource::SetOutput(std::shared_ptr<DispatchQueue> queue,
                                    AudioSamplesHandler handler) {
  delivery_.Configure(std::move(queue), std::move(handler));
}

bool ThreadedAudioSource::Start(std::string* error) {
  if (thread_.joinable()) return true;
  stop_ = false;
  if (!Open(error)) return false;
  delivery_.Activate();
  thread_ = std::thread([this] { Run(); });
  return true;
}

void ThreadedAudioSource::Stop() {
  delivery_.Deactivate();
  stop_ = true;
  if (!thread_.joinable()) return;
  thread_.join();
  Close();
}

}  // namespace platform
