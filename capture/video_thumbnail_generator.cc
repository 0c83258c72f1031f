#include "capture/video_thumbnail_generator.h"

#include <mutex>

#include "platform/asset_image_generator.h"
#include "platform/file_system.h"
#include "platform/log.h"

namespace capture {
namespace {

std::mutex g_bundle_mutex;
std::string& BundlePath() {
  static auto* path = new std::string(".");
  return *path;
}

}  // namespace

VideoThumbnailGenerator::VideoThumbnailGenerator(
    std::shared_ptr<platform::DispatchQueue> asset_queue, std::string asset_path,
    platform::NotificationCenter* center)
    : asset_queue_(std::move(asset_queue)), asset_path_(std::move(asset_path)), center_(center) {}

std::string VideoThumbnailGenerator::CacheThumbnailPath(const std::string& asset_path) {
  return asset_path + ".jpg";
}

std::string VideoThumbnailGenerator::DefaultThumbnailPath() {
  std::lock_guard lock(g_bundle_mutex);
  return BundlePath() + "/" + kDefaultThumbnailName;
}

void VideoThumbnailGenerator::SetBundlePath(std::string path) {
  std::lock_guard lock(g_bundle_mutex);
  BundlePath() = std::move(path);
}

bool VideoThumbnailGenerator::HasCacheThumbnail() const {
  return platform::DefaultFileSystem().Exists(CacheThumbnailPath(asset_path_));
}

std::string VideoThumbnailGenerator::FetchThumbnailPath() const {
  return HasCacheThumbnail() ? CacheThumbnailPath(asset_path_) : DefaultThumbnailPath();
}

void VideoThumbnailGenerator::StartGenerateThumbnail() {
  if (HasCacheThumbnail()) return;
  asset_queue_->Async([this] {
    GenerateThumbnailAsynchronouslyWithSize(100, 100, [this] {
      if (center_) {
        center_->Post(kFinishNotification, platform::Value::FromPointer(this));
      }
    });
  });
}

bool VideoThumbnailGenerator::AssetHasVideoTrack() const {
  return platform::DefaultAssetImageGenerator().HasVideoTrack(asset_path_);
}

void VideoThumbnailGenerator::GenerateThumbnailAsynchronouslyWithSize(
    int width, int height, std::function<void()> handler) {
  asset_queue_->Async([this, width, height, handler = std::move(handler)] {
    if (!AssetHasVideoTrack()) return;
    std::string error;
    auto image = platform::DefaultAssetImageGenerator().CopyImageAt(asset_path_, kThumbnailSeconds,
                                                                    width, height, &error);
    if (!image) {
      platform::Logf("Generate thumbnail failed: %s", error.c_str());
      return;
    }
    if (!SaveCacheThumbnail(*image)) return;
    if (handler) handler();
  });
}

bool VideoThumbnailGenerator::SaveCacheThumbnail(const platform::Image& image) const {
  std::string error;
  auto png = platform::DefaultImageCodec().EncodePng(image, &error);
  if (!png || !platform::DefaultFileSystem().WriteFileAtomically(CacheThumbnailPath(asset_path_),
                                                                 *png, 0644, &error)) {
    platform::Logf("Save thumbnail failed: %s", error.c_str());
    return false;
  }
  return true;
}

}  // namespace capture
