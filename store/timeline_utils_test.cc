#include "store/timeline_utils.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "platform/json.h"
#include "platform/testing/fake_platform.h"

namespace store {
namespace {

platform::Value Json(const char* text) { return *platform::ParseJson(text); }

TEST(VideoItemTest, FromTheServiceVideoObject) {
  VideoItem item = VideoItem::FromJson(Json(R"({
      "_id": 2147483700, "owner_id": 3000000000, "public": 1, "status": "hidden",
      "owner_screen_name": "Li", "owner_avatar_url": "http://a/li.png", "title": "Hi",
      "channel": "news", "publish_utc_ts": 1700000000, "geo": {"city_name": "Beijing"},
      "watcher_counter": 7, "liked": 1, "liker_counter": 8, "comment_counter": 9,
      "play_url": "http://h/v/1", "web_url": "http://w/1", "orientation": 90})"));
  EXPECT_EQ(item.videoId, 2147483700);
  EXPECT_EQ(item.userId, 3000000000);
  EXPECT_TRUE(item.isPublicVideo);
  EXPECT_TRUE(item.videoIsHidden);
  EXPECT_EQ(item.userScreenName, "Li");
  EXPECT_EQ(item.ownerAvatarUrl, "http://a/li.png");
  EXPECT_EQ(item.location, "Beijing");
  EXPECT_EQ(item.watchesCount, 7u);
  EXPECT_TRUE(item.liked);
  EXPECT_EQ(item.likesCount, 8u);
  EXPECT_EQ(item.commentsCount, 9u);
  EXPECT_EQ(item.duration, -1);
  EXPECT_EQ(item.playUrl, "http://h/v/1.m3u8");
  EXPECT_EQ(item.thumbnailUrl, "http://h/v/1_280x210.jpg");
  EXPECT_EQ(item.webPlayUrl, "http://w/1");
  EXPECT_EQ(item.rotationDegree, 90u);

  VideoItem sparse = VideoItem::FromJson(Json(
      R"({"_id": 5, "public": 2, "status": "ready", "liked": true, "owner_avatar_url": "None"})"));
  EXPECT_FALSE(sparse.isPublicVideo);
  EXPECT_FALSE(sparse.videoIsHidden);
  EXPECT_TRUE(sparse.liked);
  EXPECT_FALSE(sparse.ownerAvatarUrl);
  EXPECT_FALSE(sparse.location);
  EXPECT_EQ(sparse.playUrl, "");
  EXPECT_EQ(sparse.thumbnailUrl, "");
}

TEST(VideoItemTest, RoundTripThroughTheCachedRow) {
  VideoItem item = VideoItem::FromJson(Json(R"({
      "_id": 4294967296, "owner_id": 12, "public": 1, "title": "t", "publish_utc_ts": 1700000000,
      "owner_avatar_url": "None", "geo": {"city_name": "X"}, "play_url": "http://h/1",
      "watcher_counter": 3})"));
  storelib::VideoItem row;
  TimelineUtils::VideoItemAssignToStoreVideoItem(item, &row);
  EXPECT_EQ(row.videoId, 4294967296u);
  EXPECT_EQ(row.ownerAvatarUrl, "");
  VideoItem back;
  back.duration = 99;
  TimelineUtils::StoreVideoItemAssignToVideoItem(row, &back);
  VideoItem expected = item;
  expected.location.reset();
  expected.duration = 0;
  expected.ownerAvatarUrl = "";  // "None" came back as the empty text
  EXPECT_EQ(back, expected);
}

class DisplayTimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tz = std::getenv("TZ");
    if (tz) saved_tz_ = tz;
    ::setenv("TZ", "UTC", 1);
    ::tzset();
  }
  void TearDown() override {
    if (saved_tz_) {
      ::setenv("TZ", saved_tz_->c_str(), 1);
    } else {
      ::unsetenv("TZ");
    }
    ::tzset();
  }
  static constexpr int32_t kNow = 1767225600;  // the manual clock's start
  platform::FakePlatform fake_;
  std::optional<std::string> saved_tz_;
};

TEST_F(DisplayTimeTest, ElapsedOrAbsolute) {
  const char* timeTitle = "2023-11-14 22:13:20 extra";
  struct Case {
    int32_t published;
    const char* title;
    const char* shown;
  };
  for (Case c : {
           Case{kNow - 3725, timeTitle, "1h2m ago"},
           Case{kNow - 3600, timeTitle, "1h ago"},
           Case{kNow - 59, timeTitle, "59s ago"},
           Case{kNow - 125, timeTitle, "2m5s ago"},
           Case{kNow - 120, timeTitle, "2m ago"},
           Case{kNow - 3 * 86400, timeTitle, "3d ago"},
           Case{kNow - 40 * 86400, timeTitle, "1mo ago"},
           Case{kNow - 400 * 86400, timeTitle, "1y ago"},
           Case{kNow + 10, timeTitle, "0s ago"},  // the future
           Case{-5, timeTitle, "0s ago"},
           Case{kNow - 3725, "Holiday", "2025-12-31 22:57"},
           Case{0, "", "1970-01-01 00:00"},
       }) {
    EXPECT_EQ(TimelineUtils::MakeDisplayTime(c.published, c.title), c.shown)
        << c.published << " " << c.title;
  }
}

TEST(TimelineUtilsTest, TitleInTimeFormat) {
  struct Case {
    const char* title;
    bool matches;
  };
  for (Case c : {Case{"2013-05-01 08:09:10", true}, Case{"2013-05-01 08:09:10 and more", true},
                 Case{"2013-05-01 08:09:1", false}, Case{"2013/05/01 08:09:10", false},
                 Case{"2013-05-01T08:09:10", false}, Case{"2013-05-01 08.09:10", false},
                 Case{"20a3-05-01 08:09:10", false}, Case{"", false}}) {
    EXPECT_EQ(TimelineUtils::IsVideoTitleInTimeFormat(c.title), c.matches) << c.title;
  }
}

TEST(TimelineUtilsTest, DurationsAndStatistics) {
  struct Case {
    int seconds;
    const char* text;
  };
  for (Case c : {Case{0, "00:00"}, Case{59, "00:59"}, Case{3599, "59:59"}, Case{3600, "1:00:00"},
                 Case{7322, "2:02:02"}, Case{-3600, "-1:00:00"}}) {
    EXPECT_EQ(TimelineUtils::SecondsDurationTommss(c.seconds), c.text) << c.seconds;
  }
  VideoItem item;
  item.watchesCount = 3000000000u;
  item.likesCount = 2;
  item.commentsCount = 1;
  std::string label;
  TimelineUtils::UpdateStatsDataLabel(&label, item);
  EXPECT_EQ(label, "3000000000 watched  2 liked  1 comments");
}

}  // namespace
}  // namespace store
