#include "store/timeline_utils.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "platform/clock.h"
#include "platform/localization.h"

namespace store {
namespace {

// A display text; the key itself when the table has none.
std::string Text(std::string_view key) { return platform::LocalizedString(key, key); }

std::string Units(int n, const char* unit) {
  return std::to_string(n) + Text(unit) + Text("$$$time_ago");
}

std::string TwoUnits(int n, const char* unit, int m, const char* smaller) {
  return std::to_string(n) + Text(unit) + std::to_string(m) + Text(smaller) + Text("$$$time_ago");
}

}  // namespace

bool TimelineUtils::IsVideoTitleInTimeFormat(std::string_view title) {
  if (title.size() < 19) return false;
  for (size_t i = 0; i < 19; ++i) {
    const char c = title[i];
    switch (i) {
      case 4:
      case 7:
        if (c != '-') return false;
        break;
      case 10:
        if (c != ' ') return false;
        break;
      case 13:
      case 16:
        if (c != ':') return false;
        break;
      default:
        if (c < '0' || c > '9') return false;
    }
  }
  return true;
}

std::string TimelineUtils::MakeDisplayTime(int32_t publishUtc, std::string_view title) {
  if (!IsVideoTitleInTimeFormat(title)) {
    std::time_t time = publishUtc;
    std::tm local{};
    localtime_r(&time, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
    return text;
  }
  const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                       platform::DefaultClock().WallNow().time_since_epoch())
                       .count();
  const int32_t s = static_cast<int32_t>(static_cast<int32_t>(now) - int64_t{publishUtc});
  if (publishUtc < 0 || s < 0) return Units(0, "$$$second");
  if (s >= 31536000) return Units(s / 31536000, "$$$year");
  if (s >= 2592000) return Units(s / 2592000, "$$$month");
  if (s >= 86400) return Units(s / 86400, "$$$day");
  if (s >= 3600) {
    const int minutes = (s % 3600) / 60;
    if (minutes > 0) return TwoUnits(s / 3600, "$$$hour", minutes, "$$$minute");
    return Units(s / 3600, "$$$hour");
  }
  if (s >= 60) {
    const int seconds = s % 60;
    if (seconds > 0) return TwoUnits(s / 60, "$$$minute", seconds, "$$$second");
    return Units(s / 60, "$$$minute");
  }
  return Units(s, "$$$second");
}

std::string TimelineUtils::SecondsDurationTommss(int seconds) {
  char text[32];
  if (seconds >= 3600 || seconds <= -3600) {
    std::snprintf(text, sizeof text, "%d:%02d:%02d", seconds / 3600, (seconds % 3600) / 60,
                  seconds % 60);
  } else {
    std::snprintf(text, sizeof text, "%02d:%02d", (seconds % 3600) / 60, seconds % 60);
  }
  return text;
}

void TimelineUtils::UpdateStatsDataLabel(std::string* label, const VideoItem& item) {
  *label = std::to_string(item.watchesCount) + Text("$$$Watch") + "  " +
           std::to_string(item.likesCount) + Text("$$$Like") + "  " +
           std::to_string(item.commentsCount) + Text("$$$Leave_Message");
}

std::string TimelineUtils::MakePlayUrl(std::string_view playUrl) {
  if (playUrl.empty()) return {};
  return std::string(playUrl) + ".m3u8";
}

std::string TimelineUtils::MakeThumbnailUrl(std::string_view playUrl) {
  if (playUrl.empty()) return {};
  char size[32];
  std::snprintf(size, sizeof size, "_%dx%d.jpg", 280, 210);
  return std::string(playUrl) + size;
}

std::optional<int64_t> TimelineUtils::GetLatestVideoIdForBuddyVideoRoom() {
  const int64_t id = storelib::GetLatestVideoIdForBuddyVideoRoom();
  if (id < 0) return std::nullopt;
  return id;
}

void TimelineUtils::VideoItemAssignToStoreVideoItem(const VideoItem& item,
                                                    storelib::VideoItem* storeItem) {
  storeItem->videoId = static_cast<uint64_t>(item.videoId);
  storeItem->userId = static_cast<uint64_t>(item.userId);
  storeItem->isPublicVideo = item.isPublicVideo;
  storeItem->videoIsHidden = item.videoIsHidden;
  storeItem->userScreenName = item.userScreenName;
  storeItem->title = item.title;
  storeItem->channel = item.channel;
  storeItem->publishUtc = static_cast<uint32_t>(item.publishUtc);
  storeItem->watchesCount = item.watchesCount;
  storeItem->liked = item.liked;
  storeItem->likesCount = item.likesCount;
  storeItem->commentsCount = item.commentsCount;
  storeItem->playUrl = item.playUrl;
  storeItem->thumbnailUrl = item.thumbnailUrl;
  storeItem->webPlayUrl = item.webPlayUrl;
  storeItem->ownerAvatarUrl = item.ownerAvatarUrl.value_or("");
  storeItem->rotationDegree = item.rotationDegree;
}

void TimelineUtils::StoreVideoItemAssignToVideoItem(const storelib::VideoItem& storeItem,
                                                    VideoItem* item) {
  *item = VideoItem();
  item->videoId = static_cast<int64_t>(storeItem.videoId);
  item->userId = static_cast<int64_t>(storeItem.userId);
  item->isPublicVideo = storeItem.isPublicVideo;
  item->videoIsHidden = storeItem.videoIsHidden;
  item->userScreenName = storeItem.userScreenName;
  item->title = storeItem.title;
  item->channel = storeItem.channel;
  item->publishUtc = storeItem.publishUtc;
  item->watchesCount = storeItem.watchesCount;
  item->liked = storeItem.liked;
  item->likesCount = storeItem.likesCount;
  item->commentsCount = storeItem.commentsCount;
  item->playUrl = storeItem.playUrl;
  item->thumbnailUrl = storeItem.thumbnailUrl;
  item->webPlayUrl = storeItem.webPlayUrl;
  item->ownerAvatarUrl = storeItem.ownerAvatarUrl;
  item->rotationDegree = storeItem.rotationDegree;
}

}  // namespace store
