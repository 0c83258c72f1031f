// VideoThumbnailGenerator: the small picture of a recording in the upload
// queue. It uses the thumbnail the recorder wrote beside the recording when
// there is one; otherwise it renders the picture at 2 s of the video file,
// stores it in the same place (PNG data under the ".jpg" name; readers decode
// by content) and posts "VideoThumbnailGeneratorFinish" on its owner's centre.
// All work runs on the owner's serial queue.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/dispatch.h"
#include "platform/image_codec.h"
#include "platform/notification_center.h"
#include "platform/value.h"

namespace capture {

class VideoThumbnailGenerator {
 public:
  static constexpr char kFinishNotification[] = "VideoThumbnailGeneratorFinish";
  static constexpr char kDefaultThumbnailName[] = "DefaultThumbnail.png";
  static constexpr double kThumbnailSeconds = 2.0;

  // `asset_path` is the video recording.
  VideoThumbnailGenerator(std::shared_ptr<platform::DispatchQueue> asset_queue,
                          std::string asset_path, platform::NotificationCenter* center);

  // "<asset path>.jpg".
  static std::string CacheThumbnailPath(const std::string& asset_path);
  // The picture shipped with the application: "<bundle path>/DefaultThumbnail.png".
  static std::string DefaultThumbnailPath();
  // Where the application's resources live ("." until set).
  static void SetBundlePath(std::string path);

  bool HasCacheThumbnail() const;
  // The cached thumbnail when it exists, else the default one.
  std::string FetchThumbnailPath() const;
  // Nothing when a cached thumbnail exists; otherwise generates one at 100 x 100
  // at most and then posts the finish notification with this generator as object.
  void StartGenerateThumbnail();
  // Generates and saves a thumbnail of at most `width` x `height`, then calls
  // `handler`; a file without video (or unreadable) ends silently.
  void GenerateThumbnailAsynchronouslyWithSize(int width, int height,
                                               std::function<void()> handler);
  bool AssetHasVideoTrack() const;
  // PNG data, written atomically to the cached thumbnail path.
  bool SaveCacheThumbnail(const platform::Image& image) const;

  const std::string& asset_path() const { return asset_path_; }
  bool can_generate_thumbnails = false;
  // The owner's value to recognise this generator's row (the engine task).
  platform::Value streaming_task_value;

 private:
  std::shared_ptr<platform::DispatchQueue> asset_queue_;
  std::string asset_path_;
  platform::NotificationCenter* center_;
};

}  // namespace capture
