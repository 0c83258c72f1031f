// VideoItem: one video of a timeline or a detail screen, built from the
// service's video object.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/value.h"

namespace store {

struct VideoItem {
  int64_t videoId = 0;         // "_id"
  int64_t userId = 0;          // "owner_id", the owner
  bool isPublicVideo = false;  // "public" == 1
  bool videoIsHidden = false;  // "status" == "hidden"
  std::string userScreenName;  // "owner_screen_name"
  std::string title;
  std::string channel;
  int64_t publishUtc = 0;                     // "publish_utc_ts", seconds since 1970 UTC
  std::optional<std::string> location;        // "geo" -> "city_name"; none until known
  uint32_t watchesCount = 0;                  // "watcher_counter"
  bool liked = false;                         // "liked" == 1: the signed-in user likes it
  uint32_t likesCount = 0;                    // "liker_counter"
  uint32_t commentsCount = 0;                 // "comment_counter"
  int duration = 0;                           // seconds; -1 while unknown
  std::string playUrl;                        // "play_url" + ".m3u8"
  std::string thumbnailUrl;                   // "play_url" + "_280x210.jpg"
  std::string webPlayUrl;                     // "web_url"
  std::optional<std::string> ownerAvatarUrl;  // "owner_avatar_url"; "None" gives none
  uint32_t rotationDegree = 0;                // "orientation"

  // From a video object; missing keys give none, 0 or false, and the duration
  // is unknown (-1).
  static VideoItem FromJson(const platform::Value& video);

  bool operator==(const VideoItem&) const = default;
};

}  // namespace store
