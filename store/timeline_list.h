// TimelineList: the list of videos behind one timeline screen (the own room,
// the friends' room, another user's room or a square category), newest first.
//
// It asks its TimelineRequests for pages of newer or older videos, merges
// them by the gap rule, mirrors the own and the friends' room into the user
// cache database, and tells its table what changed through TableUpdate
// batches. Everything runs on one thread (the main queue); requests complete
// there too.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/value.h"
#include "store/video_item.h"

namespace store {

// Where a timeline's pages come from: one request for the videos older than
// `before` and/or newer than `after` (video ids). A page is a JSON array of
// video objects, newest first.
class TimelineRequests {
 public:
  using Success = std::function<void(const platform::Value& page)>;
  using Failure = std::function<void(const platform::Value& error)>;

  virtual ~TimelineRequests() = default;
  virtual void RequestPage(std::optional<int64_t> before, std::optional<int64_t> after,
                           Success success, Failure failure) = 0;
};

enum class TimelineKind {
  kMyVideoRoom,       // cached in my_video_room
  kBuddyVideoRoom,    // cached in buddy_video_room
  kSomeoneVideoRoom,  // not cached
  kSquare,            // not cached; see SquareSort
};

// The square's order: "hot" pages replace the list and have no older pages.
enum class SquareSort { kNone = 0, kHot = 1, kNew = 2 };

// One batch of table changes, applied in this order: remove every old row
// (`removed_all` rows), insert the rows now at `inserted`, reload the rows at
// `reloaded`; or, when `reload_all`, reload the whole table instead.
struct TableUpdate {
  size_t removed_all = 0;
  std::vector<size_t> inserted;
  std::vector<size_t> reloaded;
  bool reload_all = false;

  bool empty() const {
    return removed_all == 0 && inserted.empty() && reloaded.empty() && !reload_all;
  }
};

class TimelineList {
 public:
  using Completion = std::function<void()>;

  // `pageSize` is the service's page size (TimelineListCount): a newer page
  // that long may not reach the list's first item.
  TimelineList(TimelineKind kind, TimelineRequests& requests, size_t pageSize,
               SquareSort sort = SquareSort::kNone);
  ~TimelineList();
  TimelineList(const TimelineList&) = delete;
  TimelineList& operator=(const TimelineList&) = delete;

  // Called with every batch of changes.
  void SetTableUpdateHandler(std::function<void(const TableUpdate&)> handler);

  // Fills an empty list from the room's cache table (trimmed to 200 rows).
  // Does nothing for timelines that are not cached.
  void LoadFromCache();

  // Fetches what is newer than the first item (everything when empty).
  void LoadLaterVideoItems(Completion completion);
  // Fetches what is older than the last item; with an empty list (or a hot
  // square) the completion runs at once and nothing is asked.
  void LoadEarlierVideoItems(Completion completion);
  // One request and its merge at `index`.
  void LoadVideoItems(std::optional<int64_t> before, std::optional<int64_t> after, size_t index,
                      Completion completion);

  // The index of the first item with that id, or -1.
  int GetCellIndexWithVideoId(int64_t videoId) const;

  // The detail screen reports a changed video: the list and the cache follow.
  void VideoItemDataChanged(const VideoItem& item);
  // Fresh owner data (a user profile object) for the owner of `item`; the
  // friends' room updates every video of that owner.
  void SomeoneUserDataUpdate(const platform::Value& profile, const VideoItem& item);

  const std::vector<VideoItem>& items() const { return items_; }
  TimelineKind kind() const { return kind_; }
  bool loading() const { return pending_ > 0; }

 private:
  bool cached() const {
    return kind_ == TimelineKind::kMyVideoRoom || kind_ == TimelineKind::kBuddyVideoRoom;
  }
  void Merge(const platform::Value& page, std::optional<int64_t> before,
             std::optional<int64_t> after, size_t index, uint64_t generation);
  void Clear(TableUpdate* update);
  void AppendToCache(const VideoItem& item);
  void Publish(const TableUpdate& update);

  const TimelineKind kind_;
  TimelineRequests& requests_;
  const size_t page_size_;
  const SquareSort sort_;
  std::vector<VideoItem> items_;
  // Counts the times the list was emptied: an older page asked for before
  // that no longer continues the list.
  uint64_t generation_ = 0;
  int pending_ = 0;
  std::function<void(const TableUpdate&)> handler_;
  // Answers that arrive after the list is gone are dropped.
  std::shared_ptr<TimelineList*> self_;
};

}  // namespace store
