// TimelineUtils: what every timeline row shows (display time, duration,
// statistics line), the URLs made from a play URL, and the conversions
// between a VideoItem and its cached row.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

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
};

}  // namespace store
