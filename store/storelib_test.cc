#include "store/storelib.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <thread>

#include "platform/file_system.h"
#include "platform/testing/fake_platform.h"

namespace storelib {
namespace {

constexpr uint64_t kUserId = 3000000000u;  // beyond 2^31: named and found as unsigned
constexpr uint64_t kBigId = (uint64_t{1} << 31) + 7;

class StorelibTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fake_.environment.DocumentsDirectory();
    platform::DefaultFileSystem().CreateDirectories(dir_);
    ASSERT_TRUE(OpenStore(kUserId, dir_));
  }
  void TearDown() override { CloseStore(); }

  // A second connection on the same file, as another program would see it.
  void RawSql(const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(DatabasePath().c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    sqlite3_close(db);
  }

  static VideoItem Video(uint64_t id, std::string title = "t") {
    VideoItem item;
    item.videoId = id;
    item.userId = 42;
    item.title = std::move(title);
    item.publishUtc = 1700000000;
    item.playUrl = "http://h/v.m3u8";
    return item;
  }

  static std::vector<VideoItem> ReadMyRoom() {
    std::vector<VideoItem> items;
    TimeLineResult* result = LoadMyVideoRoomTimeLine();
    VideoItem item;
    while (NextVideoItem(result, &item)) items.push_back(item);
    ReleaseTimeLineResult(result);
    return items;
  }

  static std::vector<std::pair<int64_t, std::string>> ReadMessages() {
    std::vector<std::pair<int64_t, std::string>> messages;
    TimeLineResult* result = LoadMessageItems();
    int64_t mid = 0;
    std::string text;
    while (NextMessageItem(result, &mid, &text)) messages.emplace_back(mid, text);
    ReleaseTimeLineResult(result);
    return messages;
  }

  platform::FakePlatform fake_;
  std::string dir_;
};

TEST_F(StorelibTest, OpenNamesTheFilesAndCreatesTheDirectories) {
  EXPECT_EQ(DatabasePath(), dir_ + "/usercache_3000000000.db");
  EXPECT_EQ(AvatarCacheDirectory(), dir_ + "/AvatarCache");
  EXPECT_EQ(BuddyAvatarPrefix(), dir_ + "/AvatarCache/buddy_");
  EXPECT_EQ(ThumbnailCacheDirectory(), dir_ + "/ThumbnailCache");
  auto& fs = platform::DefaultFileSystem();
  EXPECT_TRUE(fs.Stat(AvatarCacheDirectory())->is_directory);
  EXPECT_TRUE(fs.Stat(ThumbnailCacheDirectory())->is_directory);
  EXPECT_TRUE(fs.Exists(DatabasePath()));
  // Opening again (another user) without closing first switches files.
  ASSERT_TRUE(OpenStore(7, dir_));
  EXPECT_EQ(DatabasePath(), dir_ + "/usercache_7.db");
  // A directory that cannot exist (a file is in its way) fails.
  EXPECT_FALSE(OpenStore(8, dir_ + "/usercache_7.db"));
  EXPECT_FALSE(IsStoreOpen());
}

TEST_F(StorelibTest, LoadTrimsToTheNewest200InDescendingOrder) {
  struct Case {
    int rows;
    uint64_t first_id;
  };
  for (Case c : {Case{230, 1}, Case{200, 1}, Case{230, kBigId - 100}}) {
    SCOPED_TRACE(testing::Message() << c.rows << " rows from " << c.first_id);
    RemoveAllFromMyVideoRoom();
    for (int i = 0; i < c.rows; ++i) AppendToMyVideoRoom(Video(c.first_id + i));
    std::vector<VideoItem> items = ReadMyRoom();
    ASSERT_EQ(items.size(), 200u);
    EXPECT_EQ(items.front().videoId, c.first_id + c.rows - 1);
    EXPECT_EQ(items.back().videoId, c.first_id + c.rows - 200);
    for (size_t i = 1; i < items.size(); ++i) EXPECT_GT(items[i - 1].videoId, items[i].videoId);
  }
}

TEST_F(StorelibTest, RowsRoundTripAndDuplicateAppendKeepsTheOldRow) {
  VideoItem full = Video(kBigId, "it's \"quoted\"; drop table x; --");
  full.userId = kUserId;
  full.isPublicVideo = true;
  full.videoIsHidden = true;
  full.userScreenName = "李明";
  full.channel = "sports";
  full.publishUtc = 4000000000u;
  full.watchesCount = 3000000000u;
  full.liked = true;
  full.likesCount = 5;
  full.commentsCount = 6;
  full.thumbnailUrl = "http://h/v_280x210.jpg";
  full.webPlayUrl = "http://w/v";
  full.ownerAvatarUrl = "http://a/1.png";
  full.rotationDegree = 90;
  AppendToMyVideoRoom(full);
  AppendToMyVideoRoom(Video(kBigId, "replacement"));
  std::vector<VideoItem> items = ReadMyRoom();
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0], full);
}

TEST_F(StorelibTest, IdsBeyond2To31AreFoundUpdatedAndOrderedAsNewest) {
  AppendToMyVideoRoom(Video(100));
  AppendToMyVideoRoom(Video(kBigId));
  AppendToMyVideoRoom(Video(2147483647));

  VideoItem changed = Video(kBigId, "new title");
  changed.watchesCount = 11;
  changed.likesCount = 12;
  changed.liked = true;
  changed.commentsCount = 13;
  changed.isPublicVideo = true;
  UpdateVideoCountersForMyVideoRoom(changed);
  ChangeVideoChannelForMyVideoRoom(kBigId, "news");
  ChangeVideoVisibilityForMyVideoRoom(kBigId, true, "http://h/hidden.m3u8");

  std::vector<VideoItem> items = ReadMyRoom();
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].videoId, kBigId);
  EXPECT_EQ(items[1].videoId, 2147483647u);
  EXPECT_EQ(items[2].videoId, 100u);
  EXPECT_EQ(items[0].title, "new title");
  EXPECT_EQ(items[0].watchesCount, 11u);
  EXPECT_EQ(items[0].likesCount, 12u);
  EXPECT_TRUE(items[0].liked);
  EXPECT_EQ(items[0].commentsCount, 13u);
  EXPECT_TRUE(items[0].isPublicVideo);
  EXPECT_EQ(items[0].channel, "news");
  EXPECT_TRUE(items[0].videoIsHidden);
  EXPECT_EQ(items[0].playUrl, "http://h/hidden.m3u8");

  RemoveVideoItemFromMyVideoRoom(kBigId);
  EXPECT_EQ(ReadMyRoom().size(), 2u);

  // The friends' room: the latest id and the owner update.
  EXPECT_EQ(GetLatestVideoIdForBuddyVideoRoom(), -1);
  VideoItem buddy = Video(kBigId);
  buddy.userId = kUserId;
  AppendToBuddyVideoRoom(buddy);
  AppendToBuddyVideoRoom(Video(5));
  EXPECT_EQ(GetLatestVideoIdForBuddyVideoRoom(), static_cast<int64_t>(kBigId));
  UpdateUserInfoForBuddyVideoRoom(kUserId, "renamed", "http://a/new.png");
  TimeLineResult* result = LoadBuddyVideoRoomTimeLine();
  VideoItem item;
  ASSERT_TRUE(NextVideoItem(result, &item));
  EXPECT_EQ(item.userScreenName, "renamed");
  EXPECT_EQ(item.ownerAvatarUrl, "http://a/new.png");
  ASSERT_TRUE(NextVideoItem(result, &item));
  EXPECT_EQ(item.userScreenName, "");
  EXPECT_FALSE(NextVideoItem(result, &item));
  ReleaseTimeLineResult(result);
  RemoveAllFromBuddyVideoRoom();
  EXPECT_EQ(GetLatestVideoIdForBuddyVideoRoom(), -1);
}

TEST_F(StorelibTest, OnlyAStoredOneReadsAsTrue) {
  AppendToMyVideoRoom(Video(1));
  RawSql("update my_video_room set isPublicVideo=2, videoIsHidden=1, liked=-1, title=NULL");
  std::vector<VideoItem> items = ReadMyRoom();
  ASSERT_EQ(items.size(), 1u);
  EXPECT_FALSE(items[0].isPublicVideo);
  EXPECT_TRUE(items[0].videoIsHidden);
  EXPECT_FALSE(items[0].liked);
  EXPECT_EQ(items[0].title, "");
  OpenVideoToEveryoneForMyVideoRoom(1);
  ChangeVideoTitleForMyVideoRoom(1, "back");
  items = ReadMyRoom();
  EXPECT_TRUE(items[0].isPublicVideo);
  EXPECT_EQ(items[0].title, "back");
}

TEST_F(StorelibTest, ReceiversTexts) {
  struct Case {
    std::vector<std::string> written;
    std::string stored;
    std::vector<std::string> read;
  };
  const Case cases[] = {
      {{"12", "34"}, "12,34", {"12", "34"}},
      {{}, "", {}},
      {{"12", "", "34"}, "12,,34", {"12", "", "34"}},
      {{"weibo#111", "mobile#13800000000"},
       "weibo#111,mobile#13800000000",
       {"weibo#111", "mobile#13800000000"}},
      {{"12", ""}, "12,", {"12"}},  // an empty tail does not come back
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string uuid = "uuid-" + std::to_string(n++);
    SCOPED_TRACE(uuid);
    EXPECT_EQ(JoinReceivers(c.written), c.stored);
    AppendVideoPublishData(uuid, "title", "channel", 116.5, 39.9, 90, c.written);
    VideoPublishData data;
    data.receivers = {"kept"};  // receivers are appended to
    ASSERT_TRUE(GetVideoPublishData(uuid, &data));
    std::vector<std::string> expected = {"kept"};
    expected.insert(expected.end(), c.read.begin(), c.read.end());
    EXPECT_EQ(data.receivers, expected);
  }
}

TEST_F(StorelibTest, PublishDataIsKeyedByABoundUuid) {
  const std::string hostile = "A'B\"); delete from publish_video; --";
  AppendVideoPublishData(hostile, "", "", -73.25, 40.5, 270, {"12"});
  AppendVideoPublishData("other", "Other", "news", 0, 0, 0, {});
  AppendVideoPublishData("other", "Duplicate", "", 0, 0, 0, {});  // the first stays

  VideoPublishData data;
  ASSERT_TRUE(GetVideoPublishData(hostile, &data));
  EXPECT_EQ(data.videoId, 0u);
  EXPECT_EQ(data.title, "");
  EXPECT_DOUBLE_EQ(data.longitude, -73.25);
  EXPECT_DOUBLE_EQ(data.latitude, 40.5);
  EXPECT_EQ(data.rotationDegree, 270);
  EXPECT_EQ(GetVideoTitleForPublishData("other"), "Other");
  EXPECT_EQ(GetVideoTitleForPublishData("absent"), "");
  EXPECT_FALSE(GetVideoPublishData("absent", &data));

  UpdateVideoIdForPublishData(hostile, kBigId);
  std::string uuid;
  ASSERT_TRUE(GetVideoUuidForPublishData(kBigId, &uuid));
  EXPECT_EQ(uuid, hostile);
  EXPECT_FALSE(GetVideoUuidForPublishData(kBigId - (uint64_t{1} << 32), &uuid));

  RemoveVideoPublishData({hostile});
  EXPECT_TRUE(GetVideoPublishData(hostile, &data));
  EXPECT_FALSE(GetVideoPublishData("other", &data));
  RemoveVideoPublishData({});
  EXPECT_FALSE(GetVideoPublishData(hostile, &data));
}

std::string Message(int utc, const std::string& text) {
  return "{\"utc_ts\": " + std::to_string(utc) + ", \"text\": \"" + text + "\"}";
}

TEST_F(StorelibTest, MessageIdsCountUpFromOne) {
  EXPECT_FALSE(GetLatestMessageItem(nullptr, nullptr));
  EXPECT_EQ(AppendMessageItem(Message(10, "a")), 1);
  EXPECT_EQ(AppendMessageItem(Message(20, "b")), 2);
  UpdateMessageItem(1, Message(10, "a2"));
  auto messages = ReadMessages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[1], std::make_pair(int64_t{1}, Message(10, "a2")));
  RemoveAllMessageItems();
  EXPECT_TRUE(ReadMessages().empty());
}

TEST_F(StorelibTest, MessagesAreOrderedTrimmedAndPickedByTheirTime) {
  // A page of newer messages, stored oldest first as the inbox does ...
  AppendMessageItem(Message(2000, "B"));
  AppendMessageItem(Message(3000, "A"));
  // ... then an older page, which gets larger row ids.
  AppendMessageItem(Message(1000, "D"));
  AppendMessageItem(Message(1500, "C"));
  AppendMessageItem("not json");  // no time: the oldest

  int64_t mid = 0;
  std::string text;
  ASSERT_TRUE(GetLatestMessageItem(&mid, &text));
  EXPECT_EQ(mid, 2);
  EXPECT_EQ(text, Message(3000, "A"));

  std::vector<std::string> order;
  for (auto& [id, message] : ReadMessages()) order.push_back(message);
  EXPECT_EQ(order, (std::vector<std::string>{Message(3000, "A"), Message(2000, "B"),
                                             Message(1500, "C"), Message(1000, "D"), "not json"}));

  // 230 messages whose newest were stored first: the trim keeps the newest 200.
  RemoveAllMessageItems();
  for (int i = 0; i < 230; ++i) AppendMessageItem(Message(100000 - i, "m"));
  auto messages = ReadMessages();
  ASSERT_EQ(messages.size(), 200u);
  EXPECT_EQ(messages.front().second, Message(100000, "m"));
  EXPECT_EQ(messages.back().second, Message(100000 - 199, "m"));
  // Equal times fall back to the row id.
  RemoveAllMessageItems();
  AppendMessageItem(Message(5, "first"));
  AppendMessageItem(Message(5, "second"));
  ASSERT_TRUE(GetLatestMessageItem(&mid, &text));
  EXPECT_EQ(text, Message(5, "second"));
}

TEST_F(StorelibTest, ClosedStoreFailsQuietly) {
  AppendToMyVideoRoom(Video(1));
  CloseStore();
  EXPECT_FALSE(IsStoreOpen());
  EXPECT_EQ(LoadMyVideoRoomTimeLine(), nullptr);
  EXPECT_EQ(LoadMessageItems(), nullptr);
  EXPECT_EQ(AppendMessageItem("x"), -1);
  EXPECT_EQ(GetLatestVideoIdForBuddyVideoRoom(), -1);
  EXPECT_EQ(GetVideoTitleForPublishData("u"), "");
  AppendToMyVideoRoom(Video(2));
  RemoveAllFromMyVideoRoom();
  VideoItem item;
  EXPECT_FALSE(NextVideoItem(nullptr, &item));
  ReleaseTimeLineResult(nullptr);
  // The file kept what was written while it was open.
  ASSERT_TRUE(OpenStore(kUserId, dir_));
  EXPECT_EQ(ReadMyRoom().size(), 1u);
}

TEST_F(StorelibTest, ACursorOutlivesCloseStore) {
  for (int i = 1; i <= 3; ++i) AppendToMyVideoRoom(Video(i));
  TimeLineResult* result = LoadMyVideoRoomTimeLine();
  CloseStore();
  VideoItem item;
  int rows = 0;
  while (NextVideoItem(result, &item)) ++rows;
  ReleaseTimeLineResult(result);
  EXPECT_EQ(rows, 3);
}

TEST_F(StorelibTest, CallsFromSeveralThreads) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 40; ++i) {
        AppendMessageItem(Message(t * 100 + i, "m"));
        AppendToMyVideoRoom(Video(t * 1000 + i + 1));
        AppendVideoPublishData(std::to_string(t) + "-" + std::to_string(i), "", "", 0, 0, 0, {});
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(ReadMessages().size(), 120u);
  EXPECT_EQ(ReadMyRoom().size(), 120u);
}

}  // namespace
}  // namespace storelib
