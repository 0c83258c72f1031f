// AssetWriter: writes one media track into a QuickTime movie file while the
// samples arrive, in the manner of the phone platform's asset writer.
//
// The file is created when writing starts; every sample's encoded data is in
// the file (not in a buffer of the process) when Append returns, so a reader
// that follows the growing file sees it at once. The media data box grows
// until FinishWriting writes the movie box ('moov') after it.
//
//   status: kUnknown --StartWriting--> kWriting --FinishWriting--> kCompleted
//           any failure --> kFailed; CancelWriting --> kCancelled
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/media_sample.h"

namespace platform {

enum class AssetWriterStatus {
  kUnknown = 0,
  kWriting = 1,
  kCompleted = 2,
  kFailed = 3,
  kCancelled = 4
};

// H.264 video.
struct VideoOutputSettings {
  int width = 480;
  int height = 360;
  int average_bit_rate = 200000;    // bit/s
  int max_key_frame_interval = 10;  // frames
  int frame_rate = 10;              // the frame rate the encoder plans for
  // The track's display transform: a rotation, counter-clockwise positive as on
  // the platform (M_PI_2 shows a landscape sensor's picture upright in portrait).
  double rotation_radians = 0;
  bool expects_media_data_in_real_time = true;
};

// AAC LC audio.
struct AudioOutputSettings {
  int sample_rate = 22050;
  int channels = 1;
  int bit_rate_per_channel = 32000;
  bool expects_media_data_in_real_time = true;
};

class AssetWriter {
 public:
  virtual ~AssetWriter() = default;
  virtual const std::string& output_path() const = 0;

  // Adds the writer's one input; false (see error()) when the settings cannot be applied.
  virtual bool AddVideoInput(const VideoOutputSettings& settings) = 0;
  virtual bool AddAudioInput(const AudioOutputSettings& settings) = 0;

  // Creates the file and writes its header; kWriting on success.
  virtual bool StartWriting() = 0;
  // The source time (a sample's pts_us) that becomes time zero of the track.
  virtual void StartSession(int64_t source_time_us) = 0;
  virtual bool IsReadyForMoreMediaData() const = 0;
  virtual bool AppendVideo(const VideoFrame& frame) = 0;
  virtual bool AppendAudio(const AudioSamples& samples) = 0;
  // Drains the encoder, writes the movie box and closes the file (synchronous).
  virtual bool FinishWriting() = 0;
  // Stops without finishing; the file (if any) stays as it is.
  virtual void CancelWriting() = 0;

  virtual AssetWriterStatus status() const = 0;
  // What went wrong, empty when nothing did.
  virtual std::string error() const = 0;
};

class AssetWriterFactory {
 public:
  virtual ~AssetWriterFactory() = default;
  // A writer for a QuickTime movie at `path`; nullptr and `error` when the path
  // cannot be used (it exists already, or its directory does not).
  virtual std::unique_ptr<AssetWriter> CreateWriter(const std::string& path,
                                                    std::string* error) = 0;
};

// The factory of the process: FFmpeg's libraries unless another was installed
// (nullptr restores it).
AssetWriterFactory& DefaultAssetWriterFactory();
void SetDefaultAssetWriterFactory(AssetWriterFactory* factory);

}  // namespace platform
