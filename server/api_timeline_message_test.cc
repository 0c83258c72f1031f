// The square, the friends' room and the message inbox over real HTTP.
#include <set>

#include "server/api_test_support.h"

namespace server_api_test {
namespace {

using server_testing::AppIdentity;
using server_testing::PublishVideo;

std::string Id(int64_t id) { return std::to_string(id); }

std::vector<int64_t> Ids(const HttpAnswer& answer) {
  std::vector<int64_t> ids;
  if (answer.json.array()) {
    for (const auto& item : *answer.json.array()) ids.push_back(item["_id"].AsInt());
  }
  return ids;
}

TEST(TimelineApiTest, TimelineAndMessageEndpointsWantAValidToken) {
  HttpClient client(Server().url());
  for (const char* path : {"/api/timeline", "/api/timeline/inbox", "/api/timeline/inbox/count",
                           "/api/message/unread", "/api/message/unread/count", "/api/message/setting"}) {
    EXPECT_TRUE(IsError(client.Get(path), 401)) << path;
  }
  EXPECT_TRUE(IsError(client.Post("/api/message/setting", {{"switch", "1"}}), 401));
  EXPECT_TRUE(IsError(client.Get("/webapi/timeline"), 400, "\"provider\" is missing"));
}

TEST(TimelineApiTest, SquareByChannelAndSort) {
  Account ann = NewUser("Ann");
  Account bob = NewUser("Bob");
  auto a = ClientFor(ann);
  std::string channel = "ch" + Id(ann.uid);
  int64_t quiet = PublishVideo(*a, ann, {{"channel", channel}})["_id"].AsInt();
  int64_t popular = PublishVideo(*a, ann, {{"channel", channel}})["_id"].AsInt();
  int64_t secret = PublishVideo(*a, ann, {{"channel", channel}, {"public", "0"}, {"acl[]", Id(bob.uid)}})["_id"].AsInt();
  int64_t elsewhere = PublishVideo(*a, ann, {{"channel", "other" + Id(ann.uid)}})["_id"].AsInt();
  auto b = ClientFor(bob);
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(IsOk(b->Post("/api/video/watch", {{"vid", Id(quiet)}, {"video_owner_id", Id(ann.uid)}})));
  }
  ASSERT_TRUE(IsOk(b->Post("/api/video/like", {{"vid", Id(popular)}, {"video_owner_id", Id(ann.uid)}})));
  ASSERT_TRUE(IsOk(b->Post("/api/video/comment", {{"vid", Id(popular)}, {"video_owner_id", Id(ann.uid)}, {"ctype", "text"}, {"text", "wow"}})));

  // Private videos never reach the square, not even for their receivers.
  EXPECT_EQ(Ids(b->Get("/api/timeline", {{"channel", channel}, {"sort", "new"}})),
            (std::vector<int64_t>{popular, quiet}));
  EXPECT_EQ(Ids(b->Get("/api/timeline", {{"channel", channel}, {"sort", "hot"}})),
            (std::vector<int64_t>{popular, quiet}));
  EXPECT_EQ(Ids(b->Get("/api/timeline", {{"channel", channel}, {"before", Id(popular)}})),
            (std::vector<int64_t>{quiet}));
  std::vector<int64_t> all = Ids(b->Get("/api/timeline"));
  EXPECT_LE(all.size(), size_t{kListSize});
  EXPECT_EQ(all[0], elsewhere);
  (void)secret;

  HttpClient anonymous(Server().url());
  Form form = AppIdentity();
  form.push_back({"channel", channel});
  EXPECT_EQ(Ids(anonymous.Get("/webapi/timeline", form)), (std::vector<int64_t>{popular, quiet}));
  EXPECT_TRUE(IsError(b->Get("/api/timeline", {{"sort", "best"}}), 400, "sort"));
}

TEST(TimelineApiTest, FriendsRoomAndItsCount) {
  Account ann = NewUser("Ann");
  Account bob = NewUser("Bob");
  Account cy = NewUser("Cy");
  auto a = ClientFor(ann);
  auto b = ClientFor(bob);
  ASSERT_TRUE(IsOk(b->Post("/api/user/contacts", {{"internal[]", Id(ann.uid)}})));
  int64_t first = PublishVideo(*a, ann)["_id"].AsInt();
  int64_t second = PublishVideo(*a, ann)["_id"].AsInt();
  auto c = ClientFor(cy);
  int64_t sent = PublishVideo(*c, cy, {{"public", "0"}, {"acl[]", Id(bob.uid)}})["_id"].AsInt();
  PublishVideo(*c, cy);  // public, but Bob did not add Cy
  EXPECT_EQ(Ids(b->Get("/api/timeline/inbox")), (std::vector<int64_t>{sent, second, first}));
  EXPECT_EQ(Ids(b->Get("/api/timeline/inbox", {{"after", Id(first)}})), (std::vector<int64_t>{sent, second}));
  EXPECT_EQ(Ids(b->Get("/api/timeline/inbox", {{"before", Id(second)}})), (std::vector<int64_t>{first}));
  EXPECT_EQ(b->Get("/api/timeline/inbox/count", {{"vid", Id(first)}}).json["count"].AsInt(), 2);
  EXPECT_EQ(b->Get("/api/timeline/inbox/count").json["count"].AsInt(), 3);
  // Blocking Ann hides her videos from Bob's room.
  ASSERT_TRUE(IsOk(b->Post("/api/user/blacklist", {{"uid", Id(ann.uid)}})));
  EXPECT_EQ(Ids(b->Get("/api/timeline/inbox")), (std::vector<int64_t>{sent}));
  EXPECT_TRUE(IsError(b->Get("/api/timeline/inbox/count", {{"vid", "x"}}), 400));
}

TEST(MessageApiTest, InboxPagesEveryMessageOnceAndCountsUnread) {
  Account ann = NewUser("Ann");
  auto a = ClientFor(ann);
  // Many messages within the same seconds: more than a page.
  std::vector<Account> fans;
  for (int i = 0; i < 12; ++i) {
    fans.push_back(NewUser("Fan" + std::to_string(i)));
    ASSERT_TRUE(IsOk(ClientFor(fans.back())->Post("/api/user/contacts", {{"internal[]", Id(ann.uid)}})));
  }
  // Page through with "before" = the oldest time of each page.
  std::multiset<int64_t> senders;
  std::string before;
  int64_t newest_time = 0;
  for (int page = 0; page < 20; ++page) {
    HttpAnswer answer = before.empty() ? a->Get("/api/message/unread")
                                       : a->Get("/api/message/unread", {{"before", before}});
    ASSERT_TRUE(IsOk(answer));
    if (answer.json.size() == 0) break;
    int64_t previous = INT64_MAX;
    for (const auto& m : *answer.json.array()) {
      EXPECT_LE(m["utc_ts"].AsInt(), previous);  // newest first
      previous = m["utc_ts"].AsInt();
      newest_time = std::max(newest_time, previous);
      senders.insert(m["from_uid"].AsInt());
      for (const char* key : {"mtype", "from_uid", "from_screen_name", "from_avatar_url", "text",
                              "utc_ts", "vid", "video_play_url", "action_url"}) {
        EXPECT_TRUE(m.Contains(key)) << key;
      }
    }
    before = std::to_string(previous);
  }
  EXPECT_EQ(senders.size(), 13u);  // twelve fans and the welcome, each once
  for (const Account& fan : fans) EXPECT_EQ(senders.count(fan.uid), 1u);

  EXPECT_EQ(a->Get("/api/message/unread/count").json["count"].AsInt(), 13);
  EXPECT_EQ(a->Get("/api/message/unread/count", {{"after", Id(newest_time)}}).json["count"].AsInt(), 0);
  HttpAnswer newer = a->Get("/api/message/unread", {{"after", Id(newest_time - 1)}});
  ASSERT_TRUE(IsOk(newer));
  for (const auto& m : *newer.json.array()) EXPECT_EQ(m["utc_ts"].AsInt(), newest_time);

  // Push setting and token.
  EXPECT_TRUE(a->Get("/api/message/setting").json["switch"].AsBool());
  ASSERT_TRUE(IsOk(a->Post("/api/message/setting", {{"apn_token", "#"}})));
  EXPECT_TRUE(a->Get("/api/message/setting").json["switch"].AsBool());
  ASSERT_TRUE(IsOk(a->Post("/api/message/setting", {{"apn_token", "abcd"}, {"switch", "0"}})));
  EXPECT_FALSE(a->Get("/api/message/setting").json["switch"].AsBool());
  EXPECT_TRUE(IsError(a->Post("/api/message/setting", {{"switch", "off"}}), 400, "switch"));
  EXPECT_FALSE(a->Get("/api/message/setting").json["switch"].AsBool());
}

}  // namespace
}  // namespace server_api_test
