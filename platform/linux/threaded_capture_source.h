// Capture sources whose device is read on a thread of their own: the thread,
// its stop flag and the output are here; a device supplies Open, Run (until
// stopping()) and Close. A subclass must call Stop() in its destructor, while
// its own members still exist for the thread.
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "platform/capture.h"
#include "platform/capture_delivery.h"

namespace platform {

// The capture clock: monotonic microseconds, the time base of every sample.
int64_t CaptureClockNowUs();

class ThreadedVideoSource : public VideoCaptureSource {
 public:
  explicit ThreadedVideoSource(CameraInfo info) : info_(std::move(info)) {}

  const CameraInfo& info() const override { return info_; }
  void SetOutput(std::shared_ptr<DispatchQueue> queue, VideoFrameHandler handler,
                 int frame_rate) override;
  bool Start(std::string* error) override;
  void Stop() override;
  bool running() const override { return thread_.joinable(); }
  bool SetTorch(bool) override { return false; }
  bool SetContinuousAutoFocus() override { return false; }
  bool SetFocusPoint(double, double) override { return false; }

 protected:
  virtual bool Open(std::string*) { return true; }
  virtual void Run() = 0;
  virtual void Close() {}
  bool stopping() const { return stop_.load(); }
  std::atomic<bool>* stop_flag() { return &stop_; }
  int frame_rate() const { return delivery_.frame_rate(); }
  bool Deliver(const VideoFrame& frame) { return delivery_.Deliver(frame); }

 private:
  CameraInfo info_;
  VideoDelivery delivery_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class ThreadedAudioSource : public AudioCaptureSource {
 public:
  explicit ThreadedAudioSource(std::string name) : name_(std::move(name)) {}

  const std::string& name() const override { return name_; }
  void SetOutput(std::shared_ptr<DispatchQueue> queue, AudioSamplesHandler handler) override;
  bool Start(std::string* error) override;
  void Stop() override;
  bool running() const override { return thread_.joinable(); }

 protected:
  virtual bool Open(std::string*) { return true; }
  virtual void Run() = 0;
  virtual void Close() {}
  bool stopping() const { return stop_.load(); }
  std::atomic<bool>* stop_flag() { return &stop_; }
  bool Deliver(const AudioSamples& samples) { return delivery_.Deliver(samples); }

 private:
  std::string name_;
  AudioDelivery delivery_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace platform
