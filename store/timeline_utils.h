// TimelineUtils: what every timeline row shows (display time, duration,
// statistics line), the URLs made from a play URL, the conversions between a
// VideoItem and its cached row, and the avatar, thumbnail and playlist caches.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/image_codec.h"
#include "store/image_memory_cache.h"
#include "store/storelib.h"
#include "store/video_item.h"

namespace store {

class TimelineUtils {
 public:
  // A titled video published in "yyyy-MM-dd HH:mm:ss" form shows how long ago
  // it was published ("1h2m ago"); any other shows the local date and time
  // "yyyy-MM-dd HH:mm". Comments and messages pass an empty title.
  static std::string MakeDisplayTime(int32_t publishUtc, std::string_view title);
  // True when the first 19 characters follow "yyyy-MM-dd HH:mm:ss".
  static bool IsVideoTitleInTimeFormat(std::string_view title);
  // "mm:ss", or "h:mm:ss" from an hour on.
  static std::string SecondsDurationTommss(int seconds);
  // "<watches> watched  <likes> liked  <comments> comments".
  static void UpdateStatsDataLabel(std::string* label, const VideoItem& item);

  // The playlist and the 280x210 thumbnail of a play URL; empty for an empty URL.
  static std::string MakePlayUrl(std::string_view playUrl);
  static std::string MakeThumbnailUrl(std::string_view playUrl);

  // The newest cached friends' video id; none when that room is empty.
  static std::optional<int64_t> GetLatestVideoIdForBuddyVideoRoom();

  static void VideoItemAssignToStoreVideoItem(const VideoItem& item,
                                              storelib::VideoItem* storeItem);
  // Location stays none and duration 0; a missing avatar comes back empty.
  static void StoreVideoItemAssignToVideoItem(const storelib::VideoItem& storeItem,
                                              VideoItem* item);

  // Image caches --------------------------------------------------------------
  // Avatars and thumbnails are kept in memory by URL and as PNG files in the
  // cache directories of the open store: the own avatar "<user id>.png",
  // friends' avatars "buddy_<user id>_<last URL path segment>.png" (never
  // cleaned), other avatars "<user id>_<segment>.png", thumbnails
  // "<video id>.png". Parts of names that come from the network are escaped
  // so that a name never leaves its directory. Before the store was opened
  // there are no directories, and nothing is read from or written to disk.
  //
  // Everything runs on the main queue. A URL already being downloaded gets no
  // second download and no callback: callers ask again when they show the row
  // again. Files are written atomically, in the background, once the picture
  // is in the memory cache.
  using ImageSuccess = std::function<void(const ImagePtr& image)>;
  using Failure = std::function<void()>;
  using TextSuccess = std::function<void(const std::string& text)>;

  // Who is signed in: the source of the user id whose own avatar file is
  // "<user id>.png" (installed by the application; empty answers: nobody).
  static void SetSignedInUserIdSource(std::function<std::string()> source);

  // The own avatar's path; empty when nobody is signed in or no store is open.
  static std::string MyOwnLocalAvatarImageName();
  static bool SaveMyOwnLocalAvatarImage(const platform::Image& image);
  // The picture of the own avatar file; null when there is none.
  static ImagePtr GetMyOwnLocalAvatarImage();

  // File paths; empty when no store is open.
  static std::string AvatarFullPath(const std::string& avatarUrl, const std::string& userId);
  static std::string BuddyAvatarFullPath(const std::string& avatarUrl, const std::string& userId);
  static std::string ThumbnailFullPath(int64_t videoId);

  // Without the network: the memory cache, then (for the signed-in user) the
  // own avatar file, then the friend's avatar file, then the other one. Null
  // when the user id or the URL is empty, or nothing is cached.
  static ImagePtr CachedAvatar(const std::string& avatarUrl, const std::string& userId);
  // Downloads into the other-avatar or the friend's-avatar file. An empty user
  // id or URL calls `failure` at once.
  static void LoadAvatarImage(const std::string& avatarUrl, const std::string& userId,
                              ImageSuccess success, Failure failure);
  static void LoadBuddyAvatarImage(const std::string& avatarUrl, const std::string& userId,
                                   ImageSuccess success, Failure failure);
  // The common step: fetch, keep in memory, write `pngFile` (when not empty).
  static void LoadAvatarImageImpl(const std::string& url, const std::string& pngFile,
                                  ImageSuccess success, Failure failure);
  // Deletes a friend's avatar file (he left the contact list).
  static void RemoveBuddyAvatarFile(const std::string& avatarUrl, const std::string& userId);

  // The memory cache, then the video's thumbnail file.
  static ImagePtr CachedThumbnail(const std::string& thumbnailUrl, std::optional<int64_t> videoId);
  // No video id or an empty URL calls `failure` at once.
  static void LoadThumbnailImage(const std::string& thumbnailUrl, std::optional<int64_t> videoId,
                                 ImageSuccess success, Failure failure);

  // A small text file (a playlist) as UTF-8 text; not stored. An empty URL or
  // one already being downloaded does nothing. An HTTP error is a failure.
  static void DownloadRemoteTextFile(const std::string& url, TextSuccess success, Failure failure);

  // Forgets the memory cache, the downloads under way and the fetcher's client.
  static void ResetImageCaches();
};

}  // namespace store
