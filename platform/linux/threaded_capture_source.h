// Capture sources whose device is read on a thread of their own: the thread,
// its stop flag and the output are here; a device supplies Open, Run (until
// stopping()) and Close. A subclass must call Stop() in its destructor, while
// its own members still exist for the thread.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "platform/capture.h"
#include "platform/capture_delivery.h"

namespace platform {

// The capture clock: monotonic microseconds, the time base of every sample.
int64_t CaptureClockNowUs();

// The reading thread and its stop flag.
class SourceThread {
 public:
  ~SourceThread() { Stop({}); }
  // `open`, then `run` on a new thread; false (and no thread) when `open` failed.
  // True at once when the thread runs already.
  bool Start(const std::function<bool()>& open, std::function<void()> run);
  // Raises the stop flag, waits for the thread, then `close`.
  void Stop(const std::function<void()>& close);
  bool running() const { return thread_.joinable(); }
  bool stopping() const { return stop_.load(); }
  std::atomic<bool>* flag() { return &stop_; }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class ThreadedVideoSource : public VideoCaptureSource {
 public:
  explicit ThreadedVideoSource(CameraInfo info) : info_(std::move(info)) {}

  const CameraInfo& info() const override { return info_; }
  void SetOutput(std::shared_ptr<DispatchQueue> queue, VideoFrameHandler handler,
                 int frame_rate) override;
  bool Start(std::string* error) override;
  void Stop() override;
  bool running() const override { return thread_.running(); }
  bool SetTorch(bool) override { return false; }
  bool SetContinuousAutoFocus() override { return false; }
  bool SetFocusPoint(double, double) override { return false; }

 protected:
  virtual bool Open(std::string*) { return true; }
  virtual void Run() = 0;
  virtual void Close() {}
  bool stopping() const { return thread_.stopping(); }
  std::atomic<bool>* stop_flag() { return thread_.flag(); }
  int frame_rate() const { return delivery_.frame_rate(); }
  bool Deliver(const VideoFrame& frame) { return delivery_.Deliver(frame); }

 private:
  CameraInfo info_;
  VideoDelivery delivery_;
  SourceThread thread_;
};

class ThreadedAudioSource : public AudioCaptureSource {
 public:
  explicit ThreadedAudioSource(std::string name) : name_(std::move(name)) {}

  const std::string& name() const override { return name_; }
  void SetOutput(std::shared_ptr<DispatchQueue> queue, AudioSamplesHandler handler) override;
  bool Start(std::string* error) override;
  void Stop() override;
  bool running() const override { return thread_.running(); }

 protected:
  virtual bool Open(std::string*) { return true; }
  virtual void Run() = 0;
  virtual void Close() {}
  bool stopping() const { return thread_.stopping(); }
  std::atomic<bool>* stop_flag() { return thread_.flag(); }
  bool Deliver(const AudioSamples& samples) { return delivery_.Deliver(samples); }

 private:
  std::string name_;
  AudioDelivery delivery_;
  SourceThread thread_;
};

}  // namespace platform
