#include "store/timeline_list.h"

#include <algorithm>

#include "platform/json.h"
#include "platform/log.h"
#include "store/storelib.h"
#include "store/timeline_utils.h"

namespace store {

TimelineList::TimelineList(TimelineKind kind, TimelineRequests& requests, size_t pageSize,
                           SquareSort sort)
    : kind_(kind),
      requests_(requests),
      page_size_(pageSize),
      sort_(sort),
      self_(std::make_shared<TimelineList*>(this)) {}

TimelineList::~TimelineList() { *self_ = nullptr; }

void TimelineList::SetTableUpdateHandler(std::function<void(const TableUpdate&)> handler) {
  handler_ = std::move(handler);
}

void TimelineList::Publish(const TableUpdate& update) {
  if (handler_ && !update.empty()) handler_(update);
}

void TimelineList::LoadFromCache() {
  if (!cached() || !items_.empty()) return;
  storelib::TimeLineResult* result = kind_ == TimelineKind::kMyVideoRoom
                                         ? storelib::LoadMyVideoRoomTimeLine()
                                         : storelib::LoadBuddyVideoRoomTimeLine();
  TableUpdate update;
  storelib::VideoItem row;
  while (storelib::NextVideoItem(result, &row)) {
    VideoItem item;
    TimelineUtils::StoreVideoItemAssignToVideoItem(row, &item);
    update.inserted.push_back(items_.size());
    items_.push_back(std::move(item));
  }
  storelib::ReleaseTimeLineResult(result);
  Publish(update);
}

void TimelineList::LoadLaterVideoItems(Completion completion) {
  std::optional<int64_t> after;
  if (!items_.empty()) after = items_.front().videoId;
  LoadVideoItems(std::nullopt, after, 0, std::move(completion));
}

void TimelineList::LoadEarlierVideoItems(Completion completion) {
  if (items_.empty() || (kind_ == TimelineKind::kSquare && sort_ == SquareSort::kHot)) {
    if (completion) completion();
    return;
  }
  LoadVideoItems(items_.back().videoId, std::nullopt, items_.size(), std::move(completion));
}

void TimelineList::LoadVideoItems(std::optional<int64_t> before, std::optional<int64_t> after,
                                  size_t index, Completion completion) {
  ++pending_;
  const uint64_t generation = generation_;
  std::weak_ptr<TimelineList*> weak = self_;
  auto done = [weak, completion](const std::function<void(TimelineList&)>& work) {
    auto self = weak.lock();
    if (!self || *self == nullptr) return;
    TimelineList& list = **self;
    --list.pending_;
    work(list);
    if (completion) completion();
  };
  requests_.RequestPage(
      before, after,
      [done, before, after, index, generation](const platform::Value& page) {
        done([&](TimelineList& list) { list.Merge(page, before, after, index, generation); });
      },
      [done](const platform::Value& error) {
        done([&](TimelineList& list) {
          const char* what = list.kind_ == TimelineKind::kMyVideoRoom      ? "Get my room video"
                             : list.kind_ == TimelineKind::kBuddyVideoRoom ? "Get buddy room video"
                             : list.kind_ == TimelineKind::kSquare         ? "Get timeline"
                                                                           : "Get user room video";
          platform::Logf("%s failed: %s", what, platform::ToJson(error).c_str());
        });
      });
}

void TimelineList::Clear(TableUpdate* update) {
  update->removed_all = items_.size();
  items_.clear();
  ++generation_;
  if (kind_ == TimelineKind::kMyVideoRoom) {
    platform::Log("Drop all items from my video room");
    storelib::RemoveAllFromMyVideoRoom();
  } else if (kind_ == TimelineKind::kBuddyVideoRoom) {
    platform::Log("Drop all items from buddy video room");
    storelib::RemoveAllFromBuddyVideoRoom();
  }
}

void TimelineList::AppendToCache(const VideoItem& item) {
  if (!cached()) return;
  storelib::VideoItem row;
  TimelineUtils::VideoItemAssignToStoreVideoItem(item, &row);
  if (kind_ == TimelineKind::kMyVideoRoom) {
    storelib::AppendToMyVideoRoom(row);
  } else {
    storelib::AppendToBuddyVideoRoom(row);
  }
}

void TimelineList::Merge(const platform::Value& page, std::optional<int64_t> before,
                         std::optional<int64_t> after, size_t index, uint64_t generation) {
  if (!page.is_array()) {
    platform::Logf("Timeline page is not a list: %s", platform::ToJson(page).c_str());
    return;
  }
  // An older page asked for before the list was emptied continues nothing now.
  if (before && generation != generation_) return;

  TableUpdate update;
  const bool square = kind_ == TimelineKind::kSquare;
  const bool gap = after.has_value() && page.size() >= page_size_;
  if (gap || (square && !before && sort_ == SquareSort::kHot)) Clear(&update);

  // Older pages go to the end and newer ones to the top of what is there now.
  index = std::min(before ? items_.size() : index, items_.size());
  size_t position = index;
  for (const platform::Value& video : *page.array()) {
    if (!video.is_dictionary()) continue;
    VideoItem item = VideoItem::FromJson(video);
    AppendToCache(item);
    items_.insert(items_.begin() + static_cast<ptrdiff_t>(position), std::move(item));
    update.inserted.push_back(position++);
  }
  if (square) {
    update = TableUpdate();
    update.reload_all = true;
  }
  Publish(update);
}

int TimelineList::GetCellIndexWithVideoId(int64_t videoId) const {
  for (size_t i = 0; i < items_.size(); ++i) {
    if (items_[i].videoId == videoId) return static_cast<int>(i);
  }
  return -1;
}

void TimelineList::VideoItemDataChanged(const VideoItem& item) {
  TableUpdate update;
  if (kind_ != TimelineKind::kBuddyVideoRoom) {
    const int index = GetCellIndexWithVideoId(item.videoId);
    if (index < 0) return;
    items_[static_cast<size_t>(index)] = item;
    update.reloaded.push_back(static_cast<size_t>(index));
    if (kind_ == TimelineKind::kMyVideoRoom) {
      storelib::VideoItem row;
      TimelineUtils::VideoItemAssignToStoreVideoItem(item, &row);
      storelib::UpdateVideoCountersForMyVideoRoom(row);
    }
    Publish(update);
    return;
  }
  bool video_matched = false;
  bool owner_matched = false;
  for (VideoItem& listed : items_) {
    if (listed.videoId == item.videoId) {
      listed.watchesCount = item.watchesCount;
      listed.likesCount = item.likesCount;
      listed.liked = item.liked;
      listed.commentsCount = item.commentsCount;
      listed.title = item.title;
      listed.isPublicVideo = item.isPublicVideo;
      video_matched = true;
    }
    if (listed.userId == item.userId) {
      listed.userScreenName = item.userScreenName;
      listed.ownerAvatarUrl = item.ownerAvatarUrl;
      owner_matched = true;
    }
  }
  update.reload_all = true;
  Publish(update);
  if (video_matched) {
    storelib::VideoItem row;
    TimelineUtils::VideoItemAssignToStoreVideoItem(item, &row);
    storelib::UpdateVideoCountersForBuddyVideoRoom(row);
  }
  if (owner_matched) {
    storelib::UpdateUserInfoForBuddyVideoRoom(
        static_cast<uint64_t>(item.userId), item.userScreenName, item.ownerAvatarUrl.value_or(""));
  }
}

void TimelineList::SomeoneUserDataUpdate(const platform::Value& profile, const VideoItem& item) {
  if (kind_ != TimelineKind::kBuddyVideoRoom) return;
  const platform::Value& meta = profile["login_meta"];
  const std::string name = meta["screen_name"].AsString();
  std::optional<std::string> avatar;
  if (!meta["avatar_url"].is_null()) avatar = meta["avatar_url"].AsString();
  if (name == item.userScreenName && avatar == item.ownerAvatarUrl) return;
  for (VideoItem& listed : items_) {
    if (listed.userId != item.userId) continue;
    listed.userScreenName = name;
    listed.ownerAvatarUrl = avatar;
  }
  TableUpdate update;
  update.reload_all = true;
  Publish(update);
  storelib::UpdateUserInfoForBuddyVideoRoom(static_cast<uint64_t>(item.userId), name,
                                            avatar.value_or(""));
}

}  // namespace store
