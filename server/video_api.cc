// /api/video/... (and the anonymous /webapi/video, /webapi/comment,
// /webapi/watch): publishing and its lifecycle, reading, editing, comments,
// likes and watches.
#include <ctime>

#include "server/api_context.h"
#include "server/crypto.h"
#include "server/identity_rules.h"
#include "server/model.h"

namespace server {
namespace {

using platform::Value;

constexpr size_t kMaxReceivers = 500;
constexpr int64_t kDay = 86400;

std::string LocalTimeTitle(int64_t now) {
  std::time_t t = static_cast<std::time_t>(now);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
  return text;
}

struct Receiver {
  int64_t uid = 0;  // a user, or 0 for a guest
  std::string provider, identity;
};

// Receivers are user ids or guest references "provider#identity".
std::vector<Receiver> ReadReceivers(ApiContext& ctx) {
  std::vector<Receiver> receivers;
  for (const std::string& entry : ctx.params.Array("acl", kMaxReceivers, kMaxIdentityChars + 16)) {
    Receiver receiver;
    size_t hash = entry.find('#');
    if (hash == std::string::npos) {
      char* end = nullptr;
      long long uid = std::strtoll(entry.c_str(), &end, 10);
      if (entry.empty() || *end != '\0' || uid < 1 || uid > kMaxId) {
        Fail(400, "receiver \"" + entry + "\" is neither a user id nor provider#identity");
      }
      if (!UserExists(ctx.db, uid)) Fail(400, "receiver " + entry + " is no user");
      receiver.uid = uid;
    } else {
      receiver.provider = entry.substr(0, hash);
      receiver.identity = entry.substr(hash + 1);
      if (!IsKnownProvider(receiver.provider) || receiver.identity.empty()) {
        Fail(400, "receiver \"" + entry + "\" is neither a user id nor provider#identity");
      }
    }
    receivers.push_back(std::move(receiver));
  }
  return receivers;
}

Value Publish(ApiContext& ctx) {
  auto title = ctx.params.Text("title", kMaxTitleChars);
  int64_t when = ctx.params.Int("publish_utc_time", 0, ctx.now + kDay).value_or(ctx.now);
  auto network = ctx.params.Text("network", 32);
  auto device = ctx.params.Text("device", 64);
  auto is_public = ctx.params.Bool("public");
  if (!is_public) Fail(400, "parameter \"public\" is missing");
  auto channel = ctx.params.Text("channel", kMaxNameChars);
  auto longitude = ctx.params.Real("longitude", -180, 180);
  auto latitude = ctx.params.Real("latitude", -90, 90);
  if (longitude.has_value() != latitude.has_value()) {
    Fail(400, "give both \"longitude\" and \"latitude\" or neither");
  }
  auto orientation = ctx.params.Int("orientation", 0, 270).value_or(0);
  if (orientation % 90 != 0) Fail(400, "parameter \"orientation\" must be 0, 90, 180 or 270");
  std::vector<Receiver> receivers = ReadReceivers(ctx);
  std::string key = RandomHex(16);

  Transaction transaction(ctx.db);
  auto q = ctx.db.Prepare(
      "INSERT INTO videos(owner_id, title, channel, public, publish_utc_ts, network, device, "
      "longitude, latitude, orientation, stream_key, created_ts) "
      "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)");
  q.Bind(1, ctx.viewer).Bind(2, title ? *title : LocalTimeTitle(ctx.now)).Bind(3, channel.value_or(""));
  q.Bind(4, int64_t{*is_public}).Bind(5, when).Bind(6, network.value_or("")).Bind(7, device.value_or(""));
  if (longitude) {
    q.Bind(8, *longitude).Bind(9, *latitude);
  } else {
    q.BindNull(8).BindNull(9);
  }
  q.Bind(10, orientation).Bind(11, key).Bind(12, ctx.now).Run();
  int64_t vid = ctx.db.LastInsertId();
  int position = 0;
  for (const Receiver& r : receivers) {
    auto a = ctx.db.Prepare(
        "INSERT INTO video_acl(video_id, position, user_id, provider, identity) VALUES(?1, ?2, ?3, ?4, ?5)");
    a.Bind(1, vid).Bind(2, int64_t{position++});
    if (r.uid) a.Bind(3, r.uid); else a.BindNull(3);
    a.Bind(4, r.provider).Bind(5, r.identity).Run();
  }
  // Tell the people who may see it: the owner's followers for a public video,
  // the receivers (users, and guests who have an account) for a private one.
  const char* audience =
      *is_public ? "SELECT user_id FROM contacts WHERE friend_id=?2"
                 : "SELECT user_id FROM video_acl WHERE video_id=?1 AND user_id IS NOT NULL "
                   "UNION SELECT i.user_id FROM video_acl a JOIN identities i ON "
                   "i.provider=a.provider AND i.identity=a.identity WHERE a.video_id=?1";
  auto people = ctx.db.Prepare(audience);
  if (!*is_public) people.Bind(1, vid);
  if (*is_public) people.Bind(2, ctx.viewer);
  std::string text = title ? *title : LocalTimeTitle(ctx.now);
  while (people.Step()) AddMessage(ctx.db, people.Int(0), "video", ctx.viewer, text, vid, std::nullopt, ctx.now);
  transaction.Commit();

  Value answer;
  answer.Set("_id", vid);
  answer.Set("publish_url", VideoPublishUrl(ctx.request.base_url, vid, key));
  answer.Set("play_url", VideoPlayUrl(ctx.request.base_url, vid, key));
  answer.Set("web_url", VideoWebUrl(ctx.request.base_url, vid, key));
  return answer;
}

Value Terminate(ApiContext& ctx) {
  int64_t vid = ctx.params.RequiredInt("vid", 1, kMaxId);
  int64_t when = ctx.params.Int("publish_utc_time", 0, ctx.now + kDay).value_or(ctx.now);
  OwnVideo(ctx, vid);
  auto q = ctx.db.Prepare("UPDATE videos SET end_utc_ts=?2 WHERE id=?1");
  q.Bind(1, vid).Bind(2, when).Run();
  return Value(Value::Dictionary());
}

Value VideoList(ApiContext& ctx, const std::string& condition, int64_t extra) {
  Page page = ReadPage(ctx);
  auto q = ctx.db.Prepare(std::string("SELECT ") + kVideoColumns +
                          " FROM videos v JOIN users u ON u.id = v.owner_id WHERE " + kVisibleToViewer +
                          " AND " + condition +
                          " AND (?3 = 0 OR v.id < ?3) AND (?4 = 0 OR v.id > ?4) "
                          "ORDER BY v.id DESC LIMIT ?5");
  q.Bind(1, ctx.viewer).Bind(2, extra).Bind(3, page.before).Bind(4, page.after);
  q.Bind(5, int64_t{ctx.settings.list_size});
  Value list = Value::Array();
  while (q.Step()) list.Append(VideoObject(ctx, q));
  return list;
}

Value Timeline(ApiContext& ctx) {
  int64_t uid = ctx.params.RequiredInt("uid", 1, kMaxId);
  if (!UserExists(ctx.db, uid)) Fail(404, "no user " + std::to_string(uid));
  return VideoList(ctx, "v.owner_id = ?2", uid);
}

Value Meta(ApiContext& ctx) {
  int64_t vid = ctx.params.RequiredInt("vid", 1, kMaxId);
  Value list = VideoList(ctx, "v.id = ?2", vid);
  if (list.size() == 0) Fail(404, "no video " + std::to_string(vid));
  return list[size_t{0}];
}

Value Location(ApiContext& ctx) {
  Value video = Meta(ctx);
  Value answer;
  answer.Set("city_name", video["geo"]["city_name"]);
  return answer;
}

Value Acl(ApiContext& ctx) {
  int64_t vid = ctx.params.RequiredInt("vid", 1, kMaxId);
  VideoRef video = VisibleVideo(ctx, vid);
  auto q = ctx.db.Prepare(
      "SELECT a.user_id, a.provider, a.identity, u.screen_name, u.avatar_url, g.screen_name, "
      "g.avatar_url FROM video_acl a LEFT JOIN users u ON u.id = a.user_id LEFT JOIN guests g ON "
      "g.user_id = ?2 AND g.provider = a.provider AND g.identity = a.identity "
      "WHERE a.video_id = ?1 ORDER BY a.position");
  q.Bind(1, vid).Bind(2, video.owner);
  Value list = Value::Array();
  while (q.Step()) {
    Value receiver;
    if (!q.IsNull(0)) {
      receiver.Set("provider", "tivora");
      receiver.Set("identity", std::to_string(q.Int(0)));
      receiver.Set("screen_name", q.Text(3));
      receiver.Set("avatar_url", q.Text(4));
    } else {
      receiver.Set("provider", q.Text(1));
      receiver.Set("identity", q.Text(2));
      receiver.Set("screen_name", q.IsNull(5) ? q.Text(2) : q.Text(5));
      receiver.Set("avatar_url", q.Text(6));
    }
    list.Append(std::move(receiver));
  }
  return list;
}

Value Counter(ApiContext& ctx) {
  int64_t uid = ctx.params.RequiredInt("uid", 1, kMaxId);
  auto q = ctx.db.Prepare(std::string("SELECT COUNT(*) FROM videos v WHERE v.owner_id = ?2 AND ") +
                          kVisibleToViewer);
  q.Bind(1, ctx.viewer).Bind(2, uid);
  q.Step();
  Value answer;
  answer.Set("video_counter", q.Int(0));
  return answer;
}

Value Settings(ApiContext& ctx) {
  Value answer;
  answer.Set("list_size", ctx.settings.list_size);
  return answer;
}

Value Edit(ApiContext& ctx) {
  int64_t vid = ctx.params.RequiredInt("vid", 1, kMaxId);
  auto is_public = ctx.params.Bool("public");
  auto status = ctx.params.Choice("status", {"hidden", "ready"});
  auto title = ctx.params.Text("title", kMaxTitleChars);
  auto channel = ctx.params.Text("channel", kMaxNameChars);
  OwnVideo(ctx, vid);
  auto q = ctx.db.Prepare(
      "UPDATE videos SET public=COALESCE(?2, public), status=COALESCE(?3, status), "
      "title=COALESCE(?4, title), channel=COALESCE(?5, channel) WHERE id=?1");
  q.Bind(1, vid);
  if (is_public) q.Bind(2, int64_t{*is_public}); else q.BindNull(2);
  if (status) q.Bind(3, *status); else q.BindNull(3);
  if (title) q.Bind(4, *title); else q.BindNull(4);
  if (channel) q.Bind(5, *channel); else q.BindNull(5);
  q.Run();
  return Meta(ctx);
}

void RemoveVoiceStreams(ApiContext& ctx, const char* sql, int64_t id) {
  auto q = ctx.db.Prepare(sql);
  q.Bind(1, id);
  while (q.Step()) ctx.media.Remove({StreamId::Kind::kVoice, q.Int(0)});
}

Value Delete(ApiContext& ctx) {
  int64_t vid = ctx.params.RequiredInt("vid", 1, kMaxId);
  OwnVideo(ctx, vid);
  RemoveVoiceStreams(ctx, "SELECT id FROM comments WHERE video_id=?1 AND ctype='voice'", vid);
  auto q = ctx.db.Prepare("DELETE FROM videos WHERE id=?1");
  q.Bind(1, vid).Run();
  ctx.media.Remove({StreamId::Kind::kVideo, vid});
  return Value(Value::Dictionary());
}

Value Comments(ApiContext& ctx) {
  int64_t vid = ctx.params.RequiredInt("vid", 1, kMaxId);
  Page page = ReadPage(ctx);
  VisibleVideo(ctx, vid);
  auto q = ctx.db.Prepare(
      "SELECT c.id, c.ctype, c.text, c.stream_key, c.user_id, u.screen_name, u.avatar_url, "
      "c.location, c.utc_ts FROM comments c JOIN users u ON u.id = c.user_id WHERE c.video_id = ?1 "
      "AND (?2 = 0 OR c.id < ?2) AND (?3 = 0 OR c.id > ?3) ORDER BY c.id DESC LIMIT ?4");
  q.Bind(1, vid).Bind(2, page.before).Bind(3, page.after).Bind(4, int64_t{ctx.settings.list_size});
  Value list = Value::Array();
  while (q.Step()) {
    Value comment;
    int64_t cid = q.Int(0);
    comment.Set("_id", cid);
    comment.Set("ctype", q.Text(1));
    comment.Set("text", q.Text(2));
    comment.Set("voice_play_url",
                q.Text(1) == "voice" ? VoicePlayUrl(ctx.request.base_url, cid, q.Text(3)) : "");
    comment.Set("uid", q.Int(4));
    comment.Set("screen_name", q.Text(5));
    comment.Set("avatar_url", AvatarOrNone(q.Text(6)));
    comment.Set("location", q.Text(7));
    comment.Set("utc_ts", q.Int(8));
    list.Append(std::move(comment));
  }
  return list;
}

// The video named by "vid" and "video_owner_id", which must agree.
VideoRef VideoWithOwner(ApiContext& ctx) {
  int64_t vid = ctx.params.RequiredInt("vid", 1, kMaxId);
  int64_t owner = ctx.params.RequiredInt("video_owner_id", 1, kMaxId);
  ctx.params.Int("utc_ts", 0, kMaxId);  // the client's clock; checked, the server's is used
  VideoRef video = VisibleVideo(ctx, vid);
  if (video.owner != owner) Fail(400, "video " + std::to_string(vid) + " is not owned by user " + std::to_string(owner));
  return video;
}

Value AddComment(ApiContext& ctx) {
  auto ctype = ctx.params.Choice("ctype", {"text", "voice"});
  if (!ctype) Fail(400, "parameter \"ctype\" is missing");
  auto text = ctx.params.Text("text", kMaxCommentChars, true);
  bool voice = *ctype == "voice";
  if (!voice && (!text || text->find_first_not_of(" \t\r\n") == std::string::npos)) {
    Fail(400, "a text comment needs a non-empty \"text\"");
  }
  VideoRef video = VideoWithOwner(ctx);
  std::string key = voice ? RandomHex(16) : "";
  Transaction transaction(ctx.db);
  auto q = ctx.db.Prepare(
      "INSERT INTO comments(video_id, user_id, ctype, text, stream_key, utc_ts) VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
  q.Bind(1, video.id).Bind(2, ctx.viewer).Bind(3, *ctype).Bind(4, text.value_or(""));
  q.Bind(5, key).Bind(6, ctx.now).Run();
  int64_t cid = ctx.db.LastInsertId();
  auto count = ctx.db.Prepare("UPDATE videos SET comment_counter = comment_counter + 1 WHERE id=?1");
  count.Bind(1, video.id).Run();
  AddMessage(ctx.db, video.owner, "comment", ctx.viewer, text.value_or(""), video.id, cid, ctx.now);
  transaction.Commit();
  Value answer;
  answer.Set("_id", cid);
  if (voice) {
    answer.Set("voice_publish_url", VoicePublishUrl(ctx.request.base_url, cid, key));
    answer.Set("voice_play_url", VoicePlayUrl(ctx.request.base_url, cid, key));
  }
  return answer;
}

Value DeleteComment(ApiContext& ctx) {
  int64_t vid = ctx.params.RequiredInt("vid", 1, kMaxId);
  int64_t cid = ctx.params.RequiredInt("cid", 1, kMaxId);
  VideoRef video = VisibleVideo(ctx, vid);
  auto q = ctx.db.Prepare("SELECT user_id, ctype FROM comments WHERE id=?1 AND video_id=?2");
  q.Bind(1, cid).Bind(2, vid);
  if (!q.Step()) Fail(404, "no comment " + std::to_string(cid) + " on video " + std::to_string(vid));
  if (q.Int(0) != ctx.viewer && video.owner != ctx.viewer) {
    Fail(403, "only its author or the video's owner may delete a comment");
  }
  bool voice = q.Text(1) == "voice";
  Transaction transaction(ctx.db);
  auto d = ctx.db.Prepare("DELETE FROM comments WHERE id=?1");
  d.Bind(1, cid).Run();
  auto count = ctx.db.Prepare("UPDATE videos SET comment_counter = max(comment_counter - 1, 0) WHERE id=?1");
  count.Bind(1, vid).Run();
  transaction.Commit();
  if (voice) ctx.media.Remove({StreamId::Kind::kVoice, cid});
  return Value(Value::Dictionary());
}

Value Like(ApiContext& ctx) {
  VideoRef video = VideoWithOwner(ctx);
  Transaction transaction(ctx.db);
  auto q = ctx.db.Prepare("INSERT OR IGNORE INTO likes(video_id, user_id, utc_ts) VALUES(?1, ?2, ?3)");
  q.Bind(1, video.id).Bind(2, ctx.viewer).Bind(3, ctx.now).Run();
  if (ctx.db.Changes() > 0) {
    auto count = ctx.db.Prepare("UPDATE videos SET liker_counter = liker_counter + 1 WHERE id=?1");
    count.Bind(1, video.id).Run();
  }
  auto read = ctx.db.Prepare("SELECT liker_counter FROM videos WHERE id=?1");
  read.Bind(1, video.id).Step();
  Value answer;
  answer.Set("count", read.Int(0));
  transaction.Commit();
  return answer;
}

Value Watch(ApiContext& ctx) {
  VideoRef video = VideoWithOwner(ctx);
  auto q = ctx.db.Prepare(
      "UPDATE videos SET watcher_counter = watcher_counter + 1 WHERE id=?1 RETURNING watcher_counter");
  q.Bind(1, video.id);
  q.Step();
  Value answer;
  answer.Set("total_watcher_counter", q.Int(0));
  q.Run();
  return answer;
}

}  // namespace

void AddVideoRoutes(std::vector<ApiRoute>& routes) {
  using A = ApiRoute::Access;
  routes.push_back({"POST", "/api/video/publish", A::kToken, Publish});
  routes.push_back({"POST", "/api/video/terminate", A::kToken, Terminate});
  routes.push_back({"GET", "/api/video/timeline", A::kToken, Timeline});
  routes.push_back({"GET", "/api/video", A::kToken, Meta});
  routes.push_back({"GET", "/webapi/video", A::kAnonymous, Meta});
  routes.push_back({"GET", "/api/video/location", A::kToken, Location});
  routes.push_back({"GET", "/api/video/acl", A::kToken, Acl});
  routes.push_back({"GET", "/api/video/counter", A::kToken, Counter});
  routes.push_back({"GET", "/api/video/settings", A::kToken, Settings});
  routes.push_back({"POST", "/api/video/edit", A::kToken, Edit});
  routes.push_back({"POST", "/api/video/delete", A::kToken, Delete});
  routes.push_back({"GET", "/api/video/comment", A::kToken, Comments});
  routes.push_back({"GET", "/webapi/comment", A::kAnonymous, Comments});
  routes.push_back({"POST", "/api/video/comment", A::kToken, AddComment});
  routes.push_back({"DELETE", "/api/video/comment", A::kToken, DeleteComment});
  routes.push_back({"POST", "/api/video/like", A::kToken, Like});
  routes.push_back({"POST", "/api/video/watch", A::kToken, Watch});
  routes.push_back({"POST", "/webapi/watch", A::kAnonymous, Watch});
}

}  // namespace server
