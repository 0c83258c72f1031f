// Publishing, reading, editing, receivers, comments, likes and watches over
// real HTTP.
#include "server/api_test_support.h"

namespace server_api_test {
namespace {

using server_testing::AppIdentity;
using server_testing::PublishVideo;

std::string Id(int64_t id) { return std::to_string(id); }

// The path components of a URL after the host.
std::vector<std::string> PathParts(const std::string& url) {
  std::vector<std::string> parts;
  size_t start = url.find('/', url.find("//") + 2);
  while (start != std::string::npos) {
    size_t next = url.find('/', start + 1);
    parts.push_back(url.substr(start + 1, next == std::string::npos ? std::string::npos : next - start - 1));
    start = next;
  }
  return parts;
}

TEST(VideoApiTest, EveryVideoEndpointWantsAValidToken) {
  HttpClient client(Server().url());
  client.set_token("expired");
  for (const char* path : {"/api/video", "/api/video/timeline", "/api/video/location", "/api/video/acl",
                           "/api/video/counter", "/api/video/settings", "/api/video/comment"}) {
    EXPECT_TRUE(IsError(client.Get(path, {{"vid", "1"}, {"uid", "1"}}), 401)) << path;
  }
  for (const char* path : {"/api/video/publish", "/api/video/terminate", "/api/video/edit",
                           "/api/video/delete", "/api/video/comment", "/api/video/like", "/api/video/watch"}) {
    EXPECT_TRUE(IsError(client.Post(path, {{"vid", "1"}}), 401)) << path;
  }
  EXPECT_TRUE(IsError(client.Delete("/api/video/comment", {{"vid", "1"}, {"cid", "1"}}), 401));
}

TEST(VideoApiTest, PublishReadEditTerminateDelete) {
  Account ann = NewUser("Ann");
  Account bob = NewUser("Bob");
  auto a = ClientFor(ann);
  auto b = ClientFor(bob);
  platform::Value published = PublishVideo(*a, ann, {{"title", "Sunset"}, {"channel", "travel"},
                                                     {"longitude", "121.47"}, {"latitude", "31.23"}});
  int64_t vid = published["_id"].AsInt();
  ASSERT_GT(vid, 0);
  // The ingest URL ends with the video id and a file name (the upload queue
  // reads the id from the next-to-last component).
  std::vector<std::string> parts = PathParts(published["publish_url"].AsString());
  ASSERT_GE(parts.size(), 3u);
  EXPECT_EQ(parts[parts.size() - 2], Id(vid));
  std::string play = published["play_url"].AsString();
  EXPECT_EQ(PathParts(play)[PathParts(play).size() - 2], Id(vid));
  HttpAnswer playlist = b->Send("GET", play + ".m3u8", "", {});
  EXPECT_EQ(playlist.status, 200);
  EXPECT_TRUE(playlist.body.starts_with("#EXTM3U"));
  HttpAnswer page = b->Send("GET", published["web_url"].AsString(), "", {});
  EXPECT_EQ(page.status, 200);
  EXPECT_NE(page.body.find(".m3u8"), std::string::npos);

  HttpAnswer meta = b->Get("/api/video", {{"vid", Id(vid)}});
  ASSERT_TRUE(IsOk(meta));
  const platform::Value& v = meta.json;
  EXPECT_EQ(v["_id"].AsInt(), vid);
  EXPECT_EQ(v["owner_id"].AsInt(), ann.uid);
  EXPECT_EQ(v["public"].AsInt(), 1);
  EXPECT_EQ(v["status"].AsString(), "ready");
  EXPECT_EQ(v["owner_screen_name"].AsString(), "Ann");
  EXPECT_EQ(v["owner_avatar_url"].AsString(), "None");
  EXPECT_EQ(v["title"].AsString(), "Sunset");
  EXPECT_EQ(v["channel"].AsString(), "travel");
  EXPECT_GT(v["publish_utc_ts"].AsInt(), 1600000000);
  EXPECT_FALSE(v["geo"]["city_name"].AsString().empty());
  EXPECT_EQ(v["orientation"].AsInt(), 90);
  EXPECT_EQ(v["play_url"].AsString(), play);
  for (const char* counter : {"watcher_counter", "liker_counter", "comment_counter", "liked"}) {
    EXPECT_EQ(v[counter].AsInt(), 0) << counter;
  }
  EXPECT_EQ(b->Get("/api/video/location", {{"vid", Id(vid)}}).json["city_name"].AsString(),
            v["geo"]["city_name"].AsString());
  EXPECT_EQ(b->Get("/api/video/counter", {{"uid", Id(ann.uid)}}).json["video_counter"].AsInt(), 1);
  EXPECT_EQ(b->Get("/api/video/settings").json["list_size"].AsInt(), kListSize);

  // Hidden: gone for others, still there for the owner.
  HttpAnswer edited = a->Post("/api/video/edit", {{"vid", Id(vid)}, {"public", "1"}, {"status", "hidden"},
                                                  {"title", "Dusk"}});
  ASSERT_TRUE(IsOk(edited));
  EXPECT_EQ(edited.json["play_url"].AsString(), play);
  EXPECT_TRUE(IsError(b->Get("/api/video", {{"vid", Id(vid)}}), 404));
  EXPECT_EQ(b->Get("/api/video/timeline", {{"uid", Id(ann.uid)}}).json.size(), 0u);
  HttpAnswer own = a->Get("/api/video/timeline", {{"uid", Id(ann.uid)}});
  ASSERT_EQ(own.json.size(), 1u);
  EXPECT_EQ(own.json[size_t{0}]["title"].AsString(), "Dusk");
  EXPECT_EQ(own.json[size_t{0}]["status"].AsString(), "hidden");
  EXPECT_TRUE(IsOk(a->Post("/api/video/edit", {{"vid", Id(vid)}, {"status", "ready"}, {"public", "1"}})));
  EXPECT_TRUE(IsOk(a->Post("/api/video/edit", {{"vid", Id(vid)}, {"channel", "food"}})));
  EXPECT_EQ(b->Get("/api/video", {{"vid", Id(vid)}}).json["channel"].AsString(), "food");

  // Only the owner edits, terminates, deletes.
  EXPECT_TRUE(IsError(b->Post("/api/video/edit", {{"vid", Id(vid)}, {"title", "Mine"}}), 403));
  EXPECT_TRUE(IsError(b->Post("/api/video/terminate", {{"vid", Id(vid)}}), 403));
  EXPECT_TRUE(IsError(b->Post("/api/video/delete", {{"vid", Id(vid)}}), 403));
  EXPECT_TRUE(IsError(a->Post("/api/video/edit", {{"vid", Id(vid)}, {"status", "gone"}}), 400, "\"hidden\", \"ready\""));
  EXPECT_TRUE(IsOk(a->Post("/api/video/terminate", {{"vid", Id(vid)}})));
  EXPECT_TRUE(IsOk(a->Post("/api/video/delete", {{"vid", Id(vid)}})));
  EXPECT_TRUE(IsError(a->Get("/api/video", {{"vid", Id(vid)}}), 404));
  EXPECT_EQ(a->Send("GET", play + ".m3u8", "", {}).status, 404);
}

TEST(VideoApiTest, PublishRefusesMalformedInputAndStoresNothing) {
  Account ann = NewUser("Ann");
  auto a = ClientFor(ann);
  int64_t videos = CountRows("videos");
  struct Case {
    Form form;
    const char* msg;
  };
  const Case cases[] = {
      {{{"title", "x"}}, "\"public\" is missing"},
      {{{"public", "maybe"}}, "1 or 0"},
      {{{"public", "1"}, {"title", std::string(141, 't')}}, "longer than 140"},
      {{{"public", "1"}, {"longitude", "10"}}, "both"},
      {{{"public", "1"}, {"longitude", "200"}, {"latitude", "1"}}, "out of range"},
      {{{"public", "1"}, {"orientation", "45"}}, "orientation"},
      {{{"public", "0"}, {"acl[]", "99999999"}}, "no user"},
      {{{"public", "0"}, {"acl[]", "carrier-pigeon#1"}}, "neither"},
      {{{"public", "1"}, {"publish_utc_time", "yesterday"}}, "integer"},
  };
  for (const Case& c : cases) EXPECT_TRUE(IsError(a->Post("/api/video/publish", c.form), 400, c.msg)) << c.msg;
  EXPECT_EQ(CountRows("videos"), videos);
  EXPECT_TRUE(IsError(a->Get("/api/video", {{"vid", "abc"}}), 400, "integer"));
  EXPECT_TRUE(IsError(a->Get("/api/video", {{"vid", "99999999"}}), 404));
  EXPECT_TRUE(IsError(a->Get("/api/video"), 400, "\"vid\" is missing"));
}

TEST(VideoApiTest, PrivateBroadcastReachesOnlyItsReceivers) {
  Account ann = NewUser("Ann");
  Account bob = NewUser("Bob");
  Account cy = NewUser("Cy");
  Account dee = NewUser("Dee");
  auto a = ClientFor(ann);
  // Dee is named by her e-mail binding, as a guest.
  platform::Value published = PublishVideo(
      *a, ann, {{"public", "0"}, {"acl[]", Id(bob.uid)}, {"acl[]", "email#" + dee.identity}});
  std::string vid = Id(published["_id"].AsInt());
  EXPECT_TRUE(IsOk(ClientFor(bob)->Get("/api/video", {{"vid", vid}})));
  EXPECT_TRUE(IsOk(ClientFor(dee)->Get("/api/video", {{"vid", vid}})));
  EXPECT_TRUE(IsError(ClientFor(cy)->Get("/api/video", {{"vid", vid}}), 404));
  HttpClient anonymous(Server().url());
  Form form = AppIdentity();
  form.push_back({"vid", vid});
  EXPECT_TRUE(IsError(anonymous.Get("/webapi/video", form), 404));
  // The receivers, and a "video" message to each.
  HttpAnswer acl = ClientFor(bob)->Get("/api/video/acl", {{"vid", vid}});
  ASSERT_TRUE(IsOk(acl));
  ASSERT_EQ(acl.json.size(), 2u);
  EXPECT_EQ(acl.json[size_t{0}]["provider"].AsString(), "tivora");
  EXPECT_EQ(acl.json[size_t{0}]["identity"].AsString(), Id(bob.uid));
  EXPECT_EQ(acl.json[size_t{0}]["screen_name"].AsString(), "Bob");
  EXPECT_EQ(acl.json[size_t{1}]["provider"].AsString(), "email");
  for (const Account* who : {&bob, &dee}) {
    HttpAnswer inbox = ClientFor(*who)->Get("/api/message/unread");
    ASSERT_GE(inbox.json.size(), 1u);
    EXPECT_EQ(inbox.json[size_t{0}]["mtype"].AsString(), "video");
    EXPECT_EQ(inbox.json[size_t{0}]["vid"].AsString(), vid);
    EXPECT_EQ(inbox.json[size_t{0}]["video_play_url"].AsString(), published["play_url"].AsString());
  }
  EXPECT_EQ(ClientFor(cy)->Get("/api/message/unread").json.size(), 1u);  // only the welcome
}

TEST(VideoApiTest, CommentsLikesAndWatches) {
  Account ann = NewUser("Ann");
  Account bob = NewUser("Bob");
  auto a = ClientFor(ann);
  auto b = ClientFor(bob);
  std::string vid = Id(PublishVideo(*a, ann)["_id"].AsInt());
  Form target = {{"vid", vid}, {"video_owner_id", Id(ann.uid)}, {"utc_ts", "1700000000"}};
  auto with = [&](Form more) {
    Form form = target;
    form.insert(form.end(), more.begin(), more.end());
    return form;
  };
  std::vector<int64_t> ids;
  for (int i = 1; i <= 7; ++i) {
    HttpAnswer added = b->Post("/api/video/comment", with({{"ctype", "text"}, {"text", "comment " + std::to_string(i)}}));
    ASSERT_TRUE(IsOk(added));
    ids.push_back(added.json["_id"].AsInt());
    if (i > 1) {
      EXPECT_GT(ids[i - 1], ids[i - 2]);  // ids grow with time
    }
  }
  HttpAnswer voice = b->Post("/api/video/comment", with({{"ctype", "voice"}}));
  ASSERT_TRUE(IsOk(voice));
  EXPECT_FALSE(voice.json["voice_publish_url"].AsString().empty());
  EXPECT_FALSE(voice.json["voice_play_url"].AsString().empty());
  ids.push_back(voice.json["_id"].AsInt());

  // Newest first, at most list_size, strict before/after.
  HttpAnswer newest = a->Get("/api/video/comment", {{"vid", vid}});
  ASSERT_EQ(newest.json.size(), size_t{kListSize});
  EXPECT_EQ(newest.json[size_t{0}]["_id"].AsInt(), ids[7]);
  EXPECT_EQ(newest.json[size_t{0}]["ctype"].AsString(), "voice");
  EXPECT_EQ(newest.json[size_t{0}]["voice_play_url"].AsString(), voice.json["voice_play_url"].AsString());
  EXPECT_EQ(newest.json[size_t{1}]["text"].AsString(), "comment 7");
  EXPECT_EQ(newest.json[size_t{1}]["uid"].AsInt(), bob.uid);
  EXPECT_EQ(newest.json[size_t{1}]["screen_name"].AsString(), "Bob");
  EXPECT_EQ(newest.json[size_t{1}]["avatar_url"].AsString(), "None");
  HttpAnswer older = a->Get("/api/video/comment", {{"vid", vid}, {"before", Id(ids[3])}});
  ASSERT_EQ(older.json.size(), 3u);
  EXPECT_EQ(older.json[size_t{0}]["_id"].AsInt(), ids[2]);
  HttpAnswer newer = a->Get("/api/video/comment", {{"vid", vid}, {"after", Id(ids[5])}});
  ASSERT_EQ(newer.json.size(), 2u);
  EXPECT_EQ(newer.json[size_t{1}]["_id"].AsInt(), ids[6]);

  // Anonymous readers sign with the application identity.
  HttpClient anonymous(Server().url());
  Form signed_form = AppIdentity();
  signed_form.push_back({"vid", vid});
  EXPECT_EQ(anonymous.Get("/webapi/comment", signed_form).json.size(), size_t{kListSize});
  Form forged = {{"provider", "app"}, {"identity", "x"}, {"signature", "00"}, {"vid", vid}};
  EXPECT_TRUE(IsError(anonymous.Get("/webapi/comment", forged), 403, "signature"));

  // Malformed comments store nothing.
  int64_t comments = CountRows("comments");
  EXPECT_TRUE(IsError(b->Post("/api/video/comment", with({{"ctype", "text"}, {"text", "  "}})), 400, "non-empty"));
  EXPECT_TRUE(IsError(b->Post("/api/video/comment", with({{"ctype", "smell"}, {"text", "x"}})), 400, "ctype"));
  EXPECT_TRUE(IsError(b->Post("/api/video/comment", with({{"ctype", "text"}, {"text", std::string(1001, 'x')}})), 400, "longer"));
  EXPECT_TRUE(IsError(b->Post("/api/video/comment", {{"vid", vid}, {"video_owner_id", Id(bob.uid)}, {"ctype", "text"}, {"text", "x"}}), 400, "not owned"));
  EXPECT_TRUE(IsError(b->Post("/api/video/comment", {{"vid", "99999999"}, {"video_owner_id", Id(ann.uid)}, {"ctype", "text"}, {"text", "x"}}), 404));
  EXPECT_EQ(CountRows("comments"), comments);
  EXPECT_EQ(a->Get("/api/video", {{"vid", vid}}).json["comment_counter"].AsInt(), 8);

  // The owner heard of each comment.
  HttpAnswer inbox = a->Get("/api/message/unread");
  ASSERT_GE(inbox.json.size(), 1u);
  EXPECT_EQ(inbox.json[size_t{0}]["mtype"].AsString(), "comment");
  EXPECT_EQ(inbox.json[size_t{0}]["voice_play_url"].AsString(), voice.json["voice_play_url"].AsString());

  // Deleting: the author or the owner, nobody else.
  Account cy = NewUser("Cy");
  EXPECT_TRUE(IsError(ClientFor(cy)->Delete("/api/video/comment", {{"vid", vid}, {"cid", Id(ids[0])}}), 403));
  EXPECT_TRUE(IsOk(b->Delete("/api/video/comment", {{"vid", vid}, {"cid", Id(ids[0])}})));
  EXPECT_TRUE(IsOk(a->Delete("/api/video/comment", {{"vid", vid}, {"cid", Id(ids[1])}})));
  EXPECT_TRUE(IsError(a->Delete("/api/video/comment", {{"vid", vid}, {"cid", Id(ids[1])}}), 404));
  EXPECT_EQ(a->Get("/api/video", {{"vid", vid}}).json["comment_counter"].AsInt(), 6);

  // A like counts once per user; every watch counts.
  EXPECT_EQ(b->Post("/api/video/like", target).json["count"].AsInt(), 1);
  EXPECT_EQ(b->Post("/api/video/like", target).json["count"].AsInt(), 1);
  EXPECT_EQ(b->Post("/api/video/watch", target).json["total_watcher_counter"].AsInt(), 1);
  Form anonymous_watch = AppIdentity();
  anonymous_watch.insert(anonymous_watch.end(), target.begin(), target.end());
  EXPECT_EQ(anonymous.Post("/webapi/watch", anonymous_watch).json["total_watcher_counter"].AsInt(), 2);
  HttpAnswer seen = b->Get("/api/video", {{"vid", vid}});
  EXPECT_EQ(seen.json["liked"].AsInt(), 1);
  EXPECT_EQ(seen.json["liker_counter"].AsInt(), 1);
  EXPECT_EQ(seen.json["watcher_counter"].AsInt(), 2);
  EXPECT_EQ(a->Get("/api/video", {{"vid", vid}}).json["liked"].AsInt(), 0);
}

TEST(VideoApiTest, OwnTimelinePagesStrictlyNewestFirst) {
  Account ann = NewUser("Ann");
  auto a = ClientFor(ann);
  std::vector<int64_t> ids;
  for (int i = 0; i < 7; ++i) ids.push_back(PublishVideo(*a, ann)["_id"].AsInt());
  HttpAnswer first = a->Get("/api/video/timeline", {{"uid", Id(ann.uid)}});
  ASSERT_EQ(first.json.size(), size_t{kListSize});
  EXPECT_EQ(first.json[size_t{0}]["_id"].AsInt(), ids[6]);
  int64_t oldest = first.json[size_t{kListSize - 1}]["_id"].AsInt();
  HttpAnswer rest = a->Get("/api/video/timeline", {{"uid", Id(ann.uid)}, {"before", Id(oldest)}});
  ASSERT_EQ(rest.json.size(), 2u);
  EXPECT_EQ(rest.json[size_t{1}]["_id"].AsInt(), ids[0]);
  EXPECT_EQ(a->Get("/api/video/timeline", {{"uid", Id(ann.uid)}, {"after", Id(ids[6])}}).json.size(), 0u);
  EXPECT_TRUE(IsError(a->Get("/api/video/timeline"), 400, "\"uid\" is missing"));
  EXPECT_TRUE(IsError(a->Get("/api/video/timeline", {{"uid", Id(ann.uid)}, {"before", "-1"}}), 400));
}

}  // namespace
}  // namespace server_api_test
