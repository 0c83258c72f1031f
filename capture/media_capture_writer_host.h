// MediaCaptureWriterHost: the recorder as the camera screen sees it. It owns
// the capture session and the two writers, routes samples to them, names the
// recording files, records the sample files first when valid ones are missing,
// saves the first picture as the thumbnail, applies zoom and the gray filter,
// and connects each recording to the streaming engine through
// LiveStreamingHooks: the live task is created when writing starts, its upload
// starts when the broadcast is published, and the engine is told when the
// recording is final.
//
// Queues: the caller's (main) queue for every method and callback;
// "Movie Writing Queue" for all writer and session work; "Waiting Sample Ready
// Queue" for the steps that wait; "cameraQueue" and "microphoneQueue" where
// the devices deliver; the engine queue for every engine call and for the
// live task handle.
//
// Destroy the host on the main queue once no start or stop is under way.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "capture/audio_capture_writer.h"
#include "capture/av_capture_manager.h"
#include "capture/live_streaming_hooks.h"
#include "capture/video_capture_writer.h"
#include "platform/dispatch.h"

namespace capture {

// Receives each camera picture on the main queue.
class VideoPreview {
 public:
  virtual ~VideoPreview() = default;
  virtual void DisplayPixelBuffer(const platform::VideoFrame& frame) = 0;
};

// What a stop left behind.
struct StoppedRecording {
  std::string video_path;
  std::string audio_path;
  bool video_finished = false;
  bool audio_finished = false;
};

class MediaCaptureWriterHost {
 public:
  MediaCaptureWriterHost(std::shared_ptr<platform::DispatchQueue> engine_queue,
                         LiveStreamingHooks hooks);
  ~MediaCaptureWriterHost();
  MediaCaptureWriterHost(const MediaCaptureWriterHost&) = delete;
  MediaCaptureWriterHost& operator=(const MediaCaptureWriterHost&) = delete;

  static constexpr int kFrameRate = 10;
  static constexpr platform::Duration kSampleRecordingTime = std::chrono::seconds(3);
  static constexpr int kThumbnailPolls = 50;
  static constexpr platform::Duration kThumbnailPollInterval = std::chrono::milliseconds(100);

  // Sets up the session and both data outputs, then calls `block`.
  void SetupCaptureWithBlock(std::function<void()> block);
  void OpenCaptpure();
  void CloseCapture();

  // Starts a recording named by `uuid` (after recording the sample files when
  // needed); `block` gets whether both writers started.
  void StartWritingWithVideoUuid(const std::string& uuid, int rotate_degrees,
                                 std::function<void(bool)> block);
  // Starts the live task's upload to `url` once the recording has started (a
  // publish during the sample recording waits for it) and its thumbnail exists
  // (at most about 5 s later); `block` gets the engine's result.
  void PublishLiveMedia(const std::string& url, std::function<void(int)> block);
  // Finishes both files, tells the engine the recording is final, makes the
  // local copy when the user wants one, then calls `block`.
  void StopWritingWithBlock(std::function<void(const StoppedRecording&)> block);

  void OpenFlashLED(std::function<void()> block);
  void CloseFlashLED(std::function<void()> block);
  void SwitchCamera(std::function<void()> block);
  void SetFrontCamera(bool front);
  bool IsFlashOpen() const { return manager_.IsFlashOpen(); }
  bool HasFlash() const { return manager_.HasFlash(); }
  bool HasFrontCamera() const;
  platform::CameraPosition camera_position() const { return manager_.camera_position(); }
  platform::Rect CleanAperture() const { return manager_.CleanAperture(); }
  void AutoFocusAtPoint(double x, double y) { manager_.AutoFocusAtPoint(x, y); }

  void ProposeVideoScaleFactor(float factor) { video_writer_.ProposeScaleFactor(factor); }
  float VideoScaleFactor() const { return video_writer_.scale_factor(); }
  void SwitchFilter() { video_writer_.SwitchFilter(); }
  bool gray_filter() const { return video_writer_.gray_filter(); }
  // The device's orientation (1 to 6), for the track transform of the next
  // recording and the thumbnail's turn.
  void SetDeviceOrientation(int orientation) { video_writer_.SetDeviceOrientation(orientation); }
  void InitPreviewView(VideoPreview* preview) { preview_ = preview; }

  // True when valid sample files exist (see RecordingFiles).
  bool HasSampleVideoAndAudioFile() const;

  // The files of the recording under way (empty before the first start).
  std::string current_video_path() const;
  std::string current_audio_path() const;
  // Setup problems (a missing camera or microphone), for messages.
  const std::vector<std::string>& setup_errors() const { return manager_.setup_errors(); }

  // Internal steps, on the movie queue.
  bool StartLiveStreamWriting(const std::string& uuid);
  void StopLiveStreamWriting(StoppedRecording* stopped);
  bool StartSampleFilesWriting();
  bool StopSampleFilesWriting();

 private:
  // Starts both writers on a pair of paths; when only one starts, it is
  // stopped again and its file removed.
  bool StartBothWriters(const std::string& video_path, const std::string& audio_path);
  void SetupDataOutputs();
  void WaitForThumbnail(const std::string& path, int polls_left, std::function<void()> then);

  std::shared_ptr<platform::DispatchQueue> engine_queue_;
  LiveStreamingHooks hooks_;
  std::shared_ptr<platform::DispatchQueue> movie_writing_queue_;
  std::shared_ptr<platform::DispatchQueue> waiting_sample_ready_queue_;
  std::shared_ptr<platform::DispatchQueue> camera_queue_;
  std::shared_ptr<platform::DispatchQueue> microphone_queue_;
  // Cleared when the host goes: deferred blocks that find it cleared do nothing.
  std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);

  AVCaptureManager manager_;
  VideoCaptureWriter video_writer_;
  AudioCaptureWriter audio_writer_;
  std::atomic<VideoPreview*> preview_{nullptr};  // shown on the main queue
  int video_rotate_degrees_ = 0;
  // The live task, touched on the engine queue only. Shared with the engine
  // blocks so that a recorder-stopped signal queued before the host goes away
  // still reaches the engine afterwards.
  struct EngineSide {
    LiveTask task = nullptr;
  };
  std::shared_ptr<EngineSide> engine_side_ = std::make_shared<EngineSide>();
  // While the sample files are recorded before a recording: publishes that wait for the
  // recording to start. Waiting queue only.
  bool sample_start_pending_ = false;
  std::vector<std::function<void()>> after_sample_start_;

  mutable std::mutex paths_mutex_;
  std::string video_path_, audio_path_;
};

}  // namespace capture
