#include "store/timeline_list.h"

#include <gtest/gtest.h>

#include <deque>

#include "platform/file_system.h"
#include "platform/testing/fake_platform.h"
#include "store/storelib.h"

namespace store {
namespace {

using platform::Value;

// Requests that complete when the test says so.
class ManualRequests : public TimelineRequests {
 public:
  struct Request {
    std::optional<int64_t> before;
    std::optional<int64_t> after;
    Success success;
    Failure failure;
  };
  void RequestPage(std::optional<int64_t> before, std::optional<int64_t> after, Success success,
                   Failure failure) override {
    pending.push_back({before, after, std::move(success), std::move(failure)});
  }
  void Complete(const Value& page) {
    Request request = std::move(pending.front());
    pending.pop_front();
    request.success(page);
  }
  void Fail() {
    Request request = std::move(pending.front());
    pending.pop_front();
    request.failure(Value());
  }
  std::deque<Request> pending;
};

Value Video(int64_t id, int64_t owner = 1) {
  Value video;
  video.Set("_id", id);
  video.Set("owner_id", owner);
  video.Set("title", "video " + std::to_string(id));
  video.Set("owner_screen_name", "owner " + std::to_string(owner));
  video.Set("play_url", "http://h/" + std::to_string(id));
  return video;
}

Value Page(const std::vector<int64_t>& ids) {
  Value page(Value::Array{});
  for (int64_t id : ids) page.Append(Video(id));
  return page;
}

std::vector<int64_t> Ids(const std::vector<VideoItem>& items) {
  std::vector<int64_t> ids;
  for (const VideoItem& item : items) ids.push_back(item.videoId);
  return ids;
}

class TimelineListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::DefaultFileSystem().CreateDirectories(fake_.environment.DocumentsDirectory());
    ASSERT_TRUE(storelib::OpenStore(1, fake_.environment.DocumentsDirectory()));
  }
  void TearDown() override { storelib::CloseStore(); }

  static std::vector<int64_t> Cached(TimelineKind kind) {
    storelib::TimeLineResult* result = kind == TimelineKind::kMyVideoRoom
                                           ? storelib::LoadMyVideoRoomTimeLine()
                                           : storelib::LoadBuddyVideoRoomTimeLine();
    std::vector<int64_t> ids;
    storelib::VideoItem row;
    while (storelib::NextVideoItem(result, &row)) ids.push_back(static_cast<int64_t>(row.videoId));
    storelib::ReleaseTimeLineResult(result);
    return ids;
  }

  static void Cache(TimelineKind kind, const std::vector<int64_t>& ids) {
    for (int64_t id : ids) {
      storelib::VideoItem row;
      row.videoId = static_cast<uint64_t>(id);
      row.userId = 1;
      if (kind == TimelineKind::kMyVideoRoom) {
        storelib::AppendToMyVideoRoom(row);
      } else {
        storelib::AppendToBuddyVideoRoom(row);
      }
    }
  }

  platform::FakePlatform fake_;
  ManualRequests requests_;
};

constexpr int64_t kBig = int64_t{1} << 31;

TEST_F(TimelineListTest, MergeRules) {
  enum Direction { kNewer, kOlder };
  struct Case {
    const char* name;
    std::vector<int64_t> cached;  // the list as shown from the cache
    Direction direction;
    std::optional<int64_t> before, after;  // the request sent
    std::vector<int64_t> page;
    std::vector<int64_t> list;  // afterwards, also the cache
    size_t removed;
    std::vector<size_t> inserted;
  };
  const Case cases[] = {
      {"empty list, full page", {}, kNewer, {}, {}, {5, 4, 3}, {5, 4, 3}, 0, {0, 1, 2}},
      {"newer page shorter than the page size",
       {10, 9},
       kNewer,
       {},
       10,
       {13, 12},
       {13, 12, 10, 9},
       0,
       {0, 1}},
      {"newer page of exactly the page size",
       {10, 9},
       kNewer,
       {},
       10,
       {15, 14, 13},
       {15, 14, 13},
       2,
       {0, 1, 2}},
      {"empty newer page", {10, 9}, kNewer, {}, 10, {}, {10, 9}, 0, {}},
      {"older page", {10, 9}, kOlder, 9, {}, {8, 7, 6}, {10, 9, 8, 7, 6}, 0, {2, 3, 4}},
      {"ids beyond 2^31",
       {kBig + 1, kBig - 1},
       kNewer,
       {},
       kBig + 1,
       {kBig + 3, kBig + 2},
       {kBig + 3, kBig + 2, kBig + 1, kBig - 1},
       0,
       {0, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    storelib::RemoveAllFromMyVideoRoom();
    Cache(TimelineKind::kMyVideoRoom, c.cached);
    TimelineList list(TimelineKind::kMyVideoRoom, requests_, 3);
    list.LoadFromCache();
    ASSERT_EQ(Ids(list.items()), c.cached);
    std::vector<TableUpdate> updates;
    list.SetTableUpdateHandler([&](const TableUpdate& u) { updates.push_back(u); });

    bool completed = false;
    if (c.direction == kNewer) {
      list.LoadLaterVideoItems([&] { completed = true; });
    } else {
      list.LoadEarlierVideoItems([&] { completed = true; });
    }
    ASSERT_EQ(requests_.pending.size(), 1u);
    EXPECT_EQ(requests_.pending.front().before, c.before);
    EXPECT_EQ(requests_.pending.front().after, c.after);
    EXPECT_TRUE(list.loading());
    requests_.Complete(Page(c.page));
    EXPECT_TRUE(completed);
    EXPECT_FALSE(list.loading());
    EXPECT_EQ(Ids(list.items()), c.list);
    EXPECT_EQ(Cached(TimelineKind::kMyVideoRoom), c.list);
    if (c.removed == 0 && c.inserted.empty()) {
      EXPECT_TRUE(updates.empty());
    } else {
      ASSERT_EQ(updates.size(), 1u);
      EXPECT_EQ(updates[0].removed_all, c.removed);
      EXPECT_EQ(updates[0].inserted, c.inserted);
    }
  }
}

TEST_F(TimelineListTest, OlderOfAnEmptyListAsksNothing) {
  TimelineList list(TimelineKind::kBuddyVideoRoom, requests_, 3);
  bool completed = false;
  list.LoadEarlierVideoItems([&] { completed = true; });
  EXPECT_TRUE(completed);
  EXPECT_TRUE(requests_.pending.empty());
}

TEST_F(TimelineListTest, FailedOrMalformedPagesChangeNothing) {
  Cache(TimelineKind::kBuddyVideoRoom, {10, 9});
  TimelineList list(TimelineKind::kBuddyVideoRoom, requests_, 2);
  list.LoadFromCache();
  int completions = 0;
  list.LoadLaterVideoItems([&] { ++completions; });
  requests_.Fail();
  list.LoadLaterVideoItems([&] { ++completions; });
  Value notAList;
  notAList.Set("code", 500);
  requests_.Complete(notAList);
  EXPECT_EQ(completions, 2);
  EXPECT_EQ(Ids(list.items()), (std::vector<int64_t>{10, 9}));
  EXPECT_EQ(Cached(TimelineKind::kBuddyVideoRoom), (std::vector<int64_t>{10, 9}));
}

TEST_F(TimelineListTest, AnOlderPageAfterTheGapRuleIsDropped) {
  Cache(TimelineKind::kBuddyVideoRoom, {10, 9});
  TimelineList list(TimelineKind::kBuddyVideoRoom, requests_, 2);
  list.LoadFromCache();
  list.LoadEarlierVideoItems({});
  list.LoadLaterVideoItems({});
  requests_.pending.push_back(std::move(requests_.pending.front()));  // the newer page first
  requests_.pending.pop_front();
  requests_.Complete(Page({30, 29}));
  requests_.Complete(Page({8, 7}));
  EXPECT_EQ(Ids(list.items()), (std::vector<int64_t>{30, 29}));
  EXPECT_EQ(Cached(TimelineKind::kBuddyVideoRoom), (std::vector<int64_t>{30, 29}));
}

TEST_F(TimelineListTest, AnswersAfterTheListIsGoneAreDropped) {
  auto list = std::make_unique<TimelineList>(TimelineKind::kMyVideoRoom, requests_, 3);
  bool completed = false;
  list->LoadLaterVideoItems([&] { completed = true; });
  list.reset();
  requests_.Complete(Page({1}));
  EXPECT_FALSE(completed);
  EXPECT_TRUE(Cached(TimelineKind::kMyVideoRoom).empty());
}

TEST_F(TimelineListTest, AnotherUsersRoomAppliesTheGapRuleWithoutCache) {
  TimelineList list(TimelineKind::kSomeoneVideoRoom, requests_, 2);
  list.LoadFromCache();  // not cached: nothing
  list.LoadLaterVideoItems({});
  requests_.Complete(Page({5, 4}));
  list.LoadLaterVideoItems({});
  EXPECT_EQ(requests_.pending.front().after, 5);
  requests_.Complete(Page({9, 8}));
  EXPECT_EQ(Ids(list.items()), (std::vector<int64_t>{9, 8}));
  EXPECT_TRUE(Cached(TimelineKind::kMyVideoRoom).empty());
  EXPECT_TRUE(Cached(TimelineKind::kBuddyVideoRoom).empty());
}

TEST_F(TimelineListTest, SquareOrders) {
  struct Case {
    SquareSort sort;
    std::vector<int64_t> afterRefresh;
    bool olderAsked;
  };
  for (Case c :
       {Case{SquareSort::kHot, {7, 6}, false}, Case{SquareSort::kNew, {7, 6, 5, 4}, true}}) {
    SCOPED_TRACE(static_cast<int>(c.sort));
    TimelineList list(TimelineKind::kSquare, requests_, 3, c.sort);
    std::vector<TableUpdate> updates;
    list.SetTableUpdateHandler([&](const TableUpdate& u) { updates.push_back(u); });
    list.LoadLaterVideoItems({});
    requests_.Complete(Page({5, 4}));
    list.LoadLaterVideoItems({});
    EXPECT_EQ(requests_.pending.front().after, 5);
    requests_.Complete(Page({7, 6}));
    EXPECT_EQ(Ids(list.items()), c.afterRefresh);
    ASSERT_EQ(updates.size(), 2u);
    EXPECT_TRUE(updates[1].reload_all);
    list.LoadEarlierVideoItems({});
    EXPECT_EQ(requests_.pending.size(), c.olderAsked ? 1u : 0u);
    if (c.olderAsked) {
      EXPECT_EQ(requests_.pending.front().before, 4);
      requests_.Complete(Page({3}));
      EXPECT_EQ(list.items().back().videoId, 3);
    }
    EXPECT_TRUE(Cached(TimelineKind::kMyVideoRoom).empty());
  }
}

VideoItem Changed(int64_t id, int64_t owner) {
  VideoItem item = VideoItem::FromJson(Video(id, owner));
  item.watchesCount = 40;
  item.likesCount = 41;
  item.liked = true;
  item.commentsCount = 42;
  item.title = "changed";
  item.userScreenName = "new name";
  item.ownerAvatarUrl = "http://a/new.png";
  return item;
}

TEST_F(TimelineListTest, AChangedVideoReachesTheOwnRoomAndItsCache) {
  TimelineList list(TimelineKind::kMyVideoRoom, requests_, 50);
  list.LoadLaterVideoItems({});
  requests_.Complete(Page({kBig + 2, kBig + 1}));
  std::vector<TableUpdate> updates;
  list.SetTableUpdateHandler([&](const TableUpdate& u) { updates.push_back(u); });

  list.VideoItemDataChanged(Changed(99, 1));  // not in the list: nothing
  EXPECT_TRUE(updates.empty());

  list.VideoItemDataChanged(Changed(kBig + 1, 1));
  ASSERT_EQ(updates.size(), 1u);
  EXPECT_EQ(updates[0].reloaded, std::vector<size_t>{1});
  EXPECT_EQ(list.items()[1], Changed(kBig + 1, 1));
  storelib::TimeLineResult* result = storelib::LoadMyVideoRoomTimeLine();
  storelib::VideoItem row;
  ASSERT_TRUE(storelib::NextVideoItem(result, &row));
  ASSERT_TRUE(storelib::NextVideoItem(result, &row));
  storelib::ReleaseTimeLineResult(result);
  EXPECT_EQ(row.videoId, static_cast<uint64_t>(kBig + 1));
  EXPECT_EQ(row.title, "changed");
  EXPECT_EQ(row.watchesCount, 40u);
  EXPECT_EQ(row.commentsCount, 42u);
  EXPECT_EQ(row.userScreenName, "owner 1");  // the own room keeps owner data as it was
}

TEST_F(TimelineListTest, AChangedVideoAndOwnerReachTheFriendsRoom) {
  TimelineList list(TimelineKind::kBuddyVideoRoom, requests_, 50);
  list.LoadLaterVideoItems({});
  Value page(Value::Array{});
  page.Append(Video(3, 7));
  page.Append(Video(2, 8));
  page.Append(Video(1, 7));
  requests_.Complete(page);

  list.VideoItemDataChanged(Changed(3, 7));
  const auto& items = list.items();
  EXPECT_EQ(items[0].title, "changed");
  EXPECT_EQ(items[0].likesCount, 41u);
  EXPECT_EQ(items[2].title, "video 1");  // same owner, other video: owner data only
  EXPECT_EQ(items[2].userScreenName, "new name");
  EXPECT_EQ(items[2].ownerAvatarUrl, "http://a/new.png");
  EXPECT_EQ(items[1].userScreenName, "owner 8");

  storelib::TimeLineResult* result = storelib::LoadBuddyVideoRoomTimeLine();
  std::vector<storelib::VideoItem> rows;
  storelib::VideoItem row;
  while (storelib::NextVideoItem(result, &row)) rows.push_back(row);
  storelib::ReleaseTimeLineResult(result);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].title, "changed");
  EXPECT_TRUE(rows[0].liked);
  EXPECT_EQ(rows[2].userScreenName, "new name");
  EXPECT_EQ(rows[1].userScreenName, "owner 8");

  // Fresh owner data from another user's room.
  std::vector<TableUpdate> updates;
  list.SetTableUpdateHandler([&](const TableUpdate& u) { updates.push_back(u); });
  Value profile;
  Value meta;
  meta.Set("screen_name", "new name");
  meta.Set("avatar_url", "http://a/new.png");
  profile.Set("login_meta", meta);
  list.SomeoneUserDataUpdate(profile, items[0]);  // nothing new
  EXPECT_TRUE(updates.empty());
  meta.Set("screen_name", "newest");
  meta.Erase("avatar_url");
  profile.Set("login_meta", meta);
  list.SomeoneUserDataUpdate(profile, items[0]);
  ASSERT_EQ(updates.size(), 1u);
  EXPECT_TRUE(updates[0].reload_all);
  EXPECT_EQ(items[2].userScreenName, "newest");
  EXPECT_FALSE(items[2].ownerAvatarUrl);
  result = storelib::LoadBuddyVideoRoomTimeLine();
  rows.clear();
  while (storelib::NextVideoItem(result, &row)) rows.push_back(row);
  storelib::ReleaseTimeLineResult(result);
  EXPECT_EQ(rows[0].userScreenName, "newest");
  EXPECT_EQ(rows[0].ownerAvatarUrl, "");
}

}  // namespace
}  // namespace store
