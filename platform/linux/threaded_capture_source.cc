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
  delivery_.Activate();
  if (thread_.Start([&] { return Open(error); }, [this] { Run(); })) return true;
  delivery_.Deactivate();
  return false;
}

void ThreadedVideoSource::Stop() {
  delivery_.Deactivate();
  thread_.Stop([this] { Close(); });
}

void ThreadedAudioSource::SetOutput(std::shared_ptr<DispatchQueue> queue,
                                    AudioSamplesHandler handler) {
  delivery_.Configure(std::move(queue), std::move(handler));
}

bool ThreadedAudioSource::Start(std::string* error) {
  delivery_.Activate();
  if (thread_.Start([&] { return Open(error); }, [this] { Run(); })) return true;
  delivery_.Deactivate();
  return false;
}

void ThreadedAudioSource::Stop() {
  delivery_.Deactivate();
  thread_.Stop([this] { Close(); });
}

bool SourceThread::Start(const std::function<bool()>& open, std::function<void()> run) {
  if (thread_.joinable()) return true;
  stop_ = false;
  if (!open()) return false;
  thread_ = std::thread(std::move(run));
  return true;
}

void SourceThread::Stop(const std::function<void()>& close) {
  stop_ = true;
  if (!thread_.joinable()) return;
  thread_.join();
  if (close) close();
}

}  // namespace platform
