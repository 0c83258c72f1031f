// The avatar, thumbnail and playlist caches of TimelineUtils.
#include <mutex>
#include <set>

#include "platform/dispatch.h"
#include "platform/file_system.h"
#include "platform/log.h"
#include "store/network_image_manager.h"
#include "store/timeline_utils.h"

namespace store {
namespace {

// The process's caches, made on first use. Touched on the main queue only,
// except the user id source, which is set once by the application.
struct ImageCaches {
  ImageMemoryCache images;
  std::set<std::string, std::less<>> downloading;
  std::mutex source_mutex;
  std::function<std::string()> signed_in_user_id;
};

ImageCaches& Caches() {
  static auto* caches = new ImageCaches();
  return *caches;
}

std::string SignedInUserId() {
  ImageCaches& caches = Caches();
  std::lock_guard lock(caches.source_mutex);
  return caches.signed_in_user_id ? caches.signed_in_user_id() : std::string();
}

// A part of a file name made from text of the network (a user id, the last
// segment of a URL): letters, digits and "-._~" stay, every other byte
// becomes "%XX", so that no "/" and no ".." can lead out of the directory.
std::string FileNamePart(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string part;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '.' || c == '_' || c == '~') {
      part += c;
    } else {
      part += '%';
      part += kHex[byte >> 4];
      part += kHex[byte & 0xF];
    }
  }
  return part;
}

// The last segment of the URL's path (without query or fragment), as it
// stands in the URL.
std::string LastPathComponent(std::string_view url) {
  std::string_view path = url.substr(0, url.find_first_of("?#"));
  if (const size_t scheme = path.find("://"); scheme != std::string_view::npos) {
    const size_t slash = path.find('/', scheme + 3);
    path = slash == std::string_view::npos ? std::string_view() : path.substr(slash);
  }
  while (!path.empty() && path.back() == '/') path.remove_suffix(1);
  const size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string AvatarFile(std::string_view prefix, const std::string& avatarUrl,
                       const std::string& userId) {
  const std::string directory = storelib::AvatarCacheDirectory();
  if (directory.empty()) return "";
  return directory + "/" + std::string(prefix) + FileNamePart(userId) + "_" +
         FileNamePart(LastPathComponent(avatarUrl)) + ".png";
}

// The picture in the file at `path`; null when there is none or it does not
// decode.
ImagePtr ReadImage(const std::string& path) {
  if (path.empty()) return nullptr;
  auto data = platform::DefaultFileSystem().ReadFile(path);
  if (!data) return nullptr;
  auto image = platform::DefaultImageCodec().Decode(*data);
  if (!image) return nullptr;
  return std::make_shared<const platform::Image>(std::move(*image));
}

bool WritePng(const std::string& path, const platform::Image& image) {
  std::string error;
  auto png = platform::DefaultImageCodec().EncodePng(image, &error);
  if (!png || !platform::DefaultFileSystem().WriteFileAtomically(path, *png, 0644, &error)) {
    platform::Logf("Save image %s failed: %s", path.c_str(), error.c_str());
    return false;
  }
  return true;
}

// Encodes and writes in the background: a crash leaves the old file or the new.
void WritePngInBackground(const std::string& path, const ImagePtr& image) {
  if (path.empty()) return;
  platform::GlobalQueue().Async([path, image] { WritePng(path, *image); });
}

void Download(const std::string& url, const std::string& pngFile, const char* what,
              TimelineUtils::ImageSuccess success, TimelineUtils::Failure failure) {
  if (!Caches().downloading.insert(url).second) return;  // the first request answers
  NetworkImageManager::Shared().FetchImageWithUrl(
      url,
      [url, pngFile, success](const ImagePtr& image) {
        // Done before the caller hears of it, so that the caller may ask again
        // (and find the picture) from its callback.
        Caches().downloading.erase(url);
        Caches().images.Put(url, image);
        WritePngInBackground(pngFile, image);
        if (success) success(image);
      },
      [url, what, failure](const std::string&) {
        Caches().downloading.erase(url);
        platform::Logf("%s failed: %s", what, url.c_str());
        if (failure) failure();
      });
}

// An avatar downloaded into the file of `prefix` ("" or "buddy_").
void LoadAvatarInto(std::string_view prefix, const std::string& avatarUrl,
                    const std::string& userId, TimelineUtils::ImageSuccess success,
                    TimelineUtils::Failure failure) {
  if (userId.empty() || avatarUrl.empty()) {
    if (failure) failure();
    return;
  }
  TimelineUtils::LoadAvatarImageImpl(avatarUrl, AvatarFile(prefix, avatarUrl, userId),
                                     std::move(success), std::move(failure));
}

}  // namespace

void TimelineUtils::SetSignedInUserIdSource(std::function<std::string()> source) {
  ImageCaches& caches = Caches();
  std::lock_guard lock(caches.source_mutex);
  caches.signed_in_user_id = std::move(source);
}

std::string TimelineUtils::MyOwnLocalAvatarImageName() {
  const std::string directory = storelib::AvatarCacheDirectory();
  const std::string userId = SignedInUserId();
  if (directory.empty() || userId.empty()) return "";
  return directory + "/" + FileNamePart(userId) + ".png";
}

bool TimelineUtils::SaveMyOwnLocalAvatarImage(const platform::Image& image) {
  const std::string path = MyOwnLocalAvatarImageName();
  return !path.empty() && WritePng(path, image);
}

ImagePtr TimelineUtils::GetMyOwnLocalAvatarImage() {
  return ReadImage(MyOwnLocalAvatarImageName());
}

std::string TimelineUtils::AvatarFullPath(const std::string& avatarUrl, const std::string& userId) {
  return AvatarFile("", avatarUrl, userId);
}

std::string TimelineUtils::BuddyAvatarFullPath(const std::string& avatarUrl,
                                               const std::string& userId) {
  return AvatarFile("buddy_", avatarUrl, userId);
}

std::string TimelineUtils::ThumbnailFullPath(int64_t videoId) {
  const std::string directory = storelib::ThumbnailCacheDirectory();
  if (directory.empty()) return "";
  return directory + "/" + std::to_string(videoId) + ".png";
}

ImagePtr TimelineUtils::CachedAvatar(const std::string& avatarUrl, const std::string& userId) {
  if (userId.empty() || avatarUrl.empty()) return nullptr;
  ImageCaches& caches = Caches();
  if (ImagePtr image = caches.images.Get(avatarUrl)) return image;
  if (userId == SignedInUserId()) {
    if (ImagePtr own = GetMyOwnLocalAvatarImage()) return own;
  }
  ImagePtr image = ReadImage(BuddyAvatarFullPath(avatarUrl, userId));
  if (!image) image = ReadImage(AvatarFullPath(avatarUrl, userId));
  if (image) caches.images.Put(avatarUrl, image);
  return image;
}

void TimelineUtils::LoadAvatarImage(const std::string& avatarUrl, const std::string& userId,
                                    ImageSuccess success, Failure failure) {
  LoadAvatarInto("", avatarUrl, userId, std::move(success), std::move(failure));
}

void TimelineUtils::LoadBuddyAvatarImage(const std::string& avatarUrl, const std::string& userId,
                                         ImageSuccess success, Failure failure) {
  LoadAvatarInto("buddy_", avatarUrl, userId, std::move(success), std::move(failure));
}

void TimelineUtils::LoadAvatarImageImpl(const std::string& url, const std::string& pngFile,
                                        ImageSuccess success, Failure failure) {
  Download(url, pngFile, "Get remote avatar", std::move(success), std::move(failure));
}

void TimelineUtils::RemoveBuddyAvatarFile(const std::string& avatarUrl, const std::string& userId) {
  const std::string path = BuddyAvatarFullPath(avatarUrl, userId);
  if (!path.empty()) platform::DefaultFileSystem().RemoveFile(path);
}

ImagePtr TimelineUtils::CachedThumbnail(const std::string& thumbnailUrl,
                                        std::optional<int64_t> videoId) {
  // Without a URL there is no key for the memory: every such video would get
  // the first one's picture.
  ImageCaches& caches = Caches();
  if (thumbnailUrl.empty()) return videoId ? ReadImage(ThumbnailFullPath(*videoId)) : nullptr;
  if (ImagePtr image = caches.images.Get(thumbnailUrl)) return image;
  if (!videoId) return nullptr;
  ImagePtr image = ReadImage(ThumbnailFullPath(*videoId));
  if (image) caches.images.Put(thumbnailUrl, image);
  return image;
}

void TimelineUtils::LoadThumbnailImage(const std::string& thumbnailUrl,
                                       std::optional<int64_t> videoId, ImageSuccess success,
                                       Failure failure) {
  if (!videoId || thumbnailUrl.empty()) {
    if (failure) failure();
    return;
  }
  Download(thumbnailUrl, ThumbnailFullPath(*videoId), "Get remote thumbnail", std::move(success),
           std::move(failure));
}

void TimelineUtils::DownloadRemoteTextFile(const std::string& url, TextSuccess success,
                                           Failure failure) {
  if (url.empty() || !Caches().downloading.insert(url).second) return;
  NetworkImageManager::Shared().FetchText(
      url,
      [url, success](const std::string& text) {
        Caches().downloading.erase(url);
        if (success) success(text);
      },
      [url, failure](const std::string& error) {
        Caches().downloading.erase(url);
        platform::Logf("Get remote text file %s failed: %s", url.c_str(), error.c_str());
        if (failure) failure();
      });
}

void TimelineUtils::ResetImageCaches() {
  Caches().images.Clear();
  Caches().downloading.clear();
  NetworkImageManager::ResetShared();
}

}  // namespace store
