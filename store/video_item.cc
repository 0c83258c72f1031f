#include "store/video_item.h"

#include <algorithm>

#include "store/timeline_utils.h"

namespace store {
namespace {

uint32_t Counter(const platform::Value& value) {
  return static_cast<uint32_t>(std::clamp<int64_t>(value.AsInt(), 0, UINT32_MAX));
}

}  // namespace

VideoItem VideoItem::FromJson(const platform::Value& video) {
  VideoItem item;
  item.videoId = video["_id"].AsInt();
  item.userId = video["owner_id"].AsInt();
  item.isPublicVideo = video["public"].AsInt() == 1;
  item.videoIsHidden = video["status"].AsString() == "hidden";
  item.userScreenName = video["owner_screen_name"].AsString();
  item.title = video["title"].AsString();
  item.channel = video["channel"].AsString();
  item.publishUtc = video["publish_utc_ts"].AsInt();
  if (const platform::Value& city = video["geo"]["city_name"]; !city.is_null()) {
    item.location = city.AsString();
  }
  item.watchesCount = Counter(video["watcher_counter"]);
  item.liked = video["liked"].AsInt() == 1;
  item.likesCount = Counter(video["liker_counter"]);
  item.commentsCount = Counter(video["comment_counter"]);
  item.duration = -1;
  const std::string play = video["play_url"].AsString();
  item.playUrl = TimelineUtils::MakePlayUrl(play);
  item.thumbnailUrl = TimelineUtils::MakeThumbnailUrl(play);
  item.webPlayUrl = video["web_url"].AsString();
  if (const platform::Value& avatar = video["owner_avatar_url"];
      !avatar.is_null() && avatar.AsString() != "None") {
    item.ownerAvatarUrl = avatar.AsString();
  }
  item.rotationDegree = Counter(video["orientation"]);
  return item;
}

}  // namespace store
