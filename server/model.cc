#include "server/model.h"

#include "server/crypto.h"

namespace server {

using platform::Value;

std::string AvatarOrNone(const std::string& url) { return url.empty() ? "None" : url; }

std::string VideoPublishUrl(const std::string& base, int64_t vid, const std::string& key) {
  return base + "/ingest/video/" + std::to_string(vid) + "/" + key;
}
std::string VideoPlayUrl(const std::string& base, int64_t vid, const std::string& key) {
  return base + "/hls/video/" + std::to_string(vid) + "/" + key;
}
std::string VideoWebUrl(const std::string& base, int64_t vid, const std::string& key) {
  return base + "/watch/" + std::to_string(vid) + "/" + key;
}
std::string VoicePublishUrl(const std::string& base, int64_t cid, const std::string& key) {
  return base + "/ingest/voice/" + std::to_string(cid) + "/" + key;
}
std::string VoicePlayUrl(const std::string& base, int64_t cid, const std::string& key) {
  return base + "/hls/voice/" + std::to_string(cid) + "/" + key;
}

bool UserExists(SqliteDb& db, int64_t uid) {
  auto q = db.Prepare("SELECT 1 FROM users WHERE id=?1");
  q.Bind(1, uid);
  return q.Step();
}

bool IsBlocked(SqliteDb& db, int64_t owner, int64_t user) {
  auto q = db.Prepare("SELECT 1 FROM blacklist WHERE user_id=?1 AND blocked_id=?2");
  q.Bind(1, owner).Bind(2, user);
  return q.Step();
}

namespace {

Value Bindings(SqliteDb& db, int64_t uid, bool own) {
  Value list = Value::Array();
  auto q = db.Prepare(
      "SELECT provider, identity, screen_name, avatar_url, access_token, expired_time, "
      "session_uid, session_key, secret_key FROM identities WHERE user_id=?1 "
      "ORDER BY created_ts, provider");
  q.Bind(1, uid);
  while (q.Step()) {
    std::string provider = q.Text(0);
    if (!own && provider == "email") continue;
    Value binding;
    binding.Set("provider", provider);
    binding.Set("identity", q.Text(1));
    binding.Set("screen_name", q.Text(2));
    binding.Set("avatar_url", q.Text(3));
    if (own && provider != "email" && provider != "mobile") {
      binding.Set("access_token", q.Text(4));
      binding.Set("expired_time", q.Text(5));
      binding.Set("session_uid", q.Text(6));
      binding.Set("session_key", q.Text(7));
      binding.Set("secret_key", q.Text(8));
    }
    list.Append(std::move(binding));
  }
  return list;
}

}  // namespace

Value UserObject(SqliteDb& db, int64_t uid, bool own) {
  auto q = db.Prepare(
      "SELECT screen_name, avatar_url, first_name, last_name, domain_name, background_url, "
      "gender, birthday, location, introduction, login_provider, login_identity "
      "FROM users WHERE id=?1");
  q.Bind(1, uid);
  Value user;
  if (!q.Step()) return user;
  user.Set("_id", uid);
  Value meta;
  meta.Set("screen_name", q.Text(0));
  meta.Set("avatar_url", q.Text(1));
  meta.Set("home_url", "");
  if (own) {
    meta.Set("login_provider", q.Text(10));
    meta.Set("login_identity", q.Text(11));
  }
  user.Set("login_meta", std::move(meta));
  Value profile;
  profile.Set("screen_name", q.Text(0));
  profile.Set("avatar_url", q.Text(1));
  profile.Set("first_name", q.Text(2));
  profile.Set("last_name", q.Text(3));
  profile.Set("domain_name", q.Text(4));
  profile.Set("background_url", q.Text(5));
  profile.Set("gender", q.Text(6));
  profile.Set("birthday", q.Text(7));
  profile.Set("location", q.Text(8));
  profile.Set("introduction", q.Text(9));
  user.Set("profile", std::move(profile));
  user.Set("bindings", Bindings(db, uid, own));
  return user;
}

std::string IssueToken(SqliteDb& db, int64_t uid, int64_t now) {
  std::string token = RandomHex(24);
  auto q = db.Prepare("INSERT INTO tokens(token_hash, user_id, created_ts) VALUES(?1, ?2, ?3)");
  q.Bind(1, TokenDigest(token)).Bind(2, uid).Bind(3, now).Run();
  return token;
}

Value LoginResponse(SqliteDb& db, int64_t uid, const std::string& provider,
                    const std::string& identity, const std::string* token) {
  auto update = db.Prepare("UPDATE users SET login_provider=?2, login_identity=?3 WHERE id=?1");
  update.Bind(1, uid).Bind(2, provider).Bind(3, identity).Run();
  Value user = UserObject(db, uid, true);
  Value answer;
  answer.Set("_id", uid);
  auto promotion = db.Prepare("SELECT promotion FROM users WHERE id=?1");
  promotion.Bind(1, uid);
  answer.Set("promotion", promotion.Step() && promotion.Int(0) != 0);
  answer.Set("bindings", user["bindings"]);
  answer.Set("profile", user["profile"]);
  Value meta = user["login_meta"];
  if (token) meta.Set("token", *token);
  answer.Set("login_meta", std::move(meta));
  return answer;
}

// A user sees a video when he owns it, or when it is ready (not hidden), its
// owner has not blacklisted him, and it is public or names him among its
// receivers, by user id or by one of his bound identities.
const char* const kVisibleToViewer =
    "(v.owner_id = ?1 OR (v.status = 'ready' AND (v.public = 1 OR (?1 <> 0 AND EXISTS ("
    "SELECT 1 FROM video_acl a WHERE a.video_id = v.id AND (a.user_id = ?1 OR EXISTS ("
    "SELECT 1 FROM identities i WHERE i.user_id = ?1 AND i.provider = a.provider AND "
    "i.identity = a.identity))))) AND NOT EXISTS (SELECT 1 FROM blacklist b WHERE "
    "b.user_id = v.owner_id AND b.blocked_id = ?1 AND ?1 <> 0)))";

const char* const kVideoColumns =
    "v.id, v.owner_id, v.public, v.status, u.screen_name, u.avatar_url, v.title, v.channel, "
    "v.publish_utc_ts, v.latitude, v.longitude, v.watcher_counter, v.liker_counter, "
    "v.comment_counter, v.stream_key, v.orientation, "
    "EXISTS(SELECT 1 FROM likes l WHERE l.video_id = v.id AND l.user_id = ?1), v.end_utc_ts";

namespace {

// Without a geocoder the place is named by its coordinates.
std::string CityName(const Statement& row, int latitude_column) {
  if (row.IsNull(latitude_column)) return "";
  char text[64];
  std::snprintf(text, sizeof text, "%.4f,%.4f", row.Real(latitude_column),
                row.Real(latitude_column + 1));
  return text;
}

}  // namespace

Value VideoObject(ApiContext& ctx, const Statement& row) {
  Value video;
  int64_t vid = row.Int(0);
  std::string key = row.Text(14);
  video.Set("_id", vid);
  video.Set("owner_id", row.Int(1));
  video.Set("public", row.Int(2));
  video.Set("status", row.Text(3));
  video.Set("owner_screen_name", row.Text(4));
  video.Set("owner_avatar_url", AvatarOrNone(row.Text(5)));
  video.Set("title", row.Text(6));
  video.Set("channel", row.Text(7));
  video.Set("publish_utc_ts", row.Int(8));
  Value geo;
  geo.Set("city_name", CityName(row, 9));
  if (!row.IsNull(9)) {
    geo.Set("latitude", row.Real(9));
    geo.Set("longitude", row.Real(10));
  }
  video.Set("geo", std::move(geo));
  video.Set("watcher_counter", row.Int(11));
  video.Set("liker_counter", row.Int(12));
  video.Set("comment_counter", row.Int(13));
  video.Set("liked", row.Int(16) ? 1 : 0);
  video.Set("play_url", VideoPlayUrl(ctx.request.base_url, vid, key));
  video.Set("web_url", VideoWebUrl(ctx.request.base_url, vid, key));
  video.Set("orientation", row.Int(15));
  video.Set("live", row.IsNull(17) ? 1 : 0);
  return video;
}

VideoRef VisibleVideo(ApiContext& ctx, int64_t vid) {
  auto q = ctx.db.Prepare(std::string("SELECT v.id, v.owner_id, v.stream_key, v.title FROM videos v "
                                      "WHERE v.id = ?2 AND ") + kVisibleToViewer);
  q.Bind(1, ctx.viewer).Bind(2, vid);
  if (!q.Step()) Fail(404, "no video " + std::to_string(vid));
  return {q.Int(0), q.Int(1), q.Text(2), q.Text(3)};
}

VideoRef OwnVideo(ApiContext& ctx, int64_t vid) {
  VideoRef video = VisibleVideo(ctx, vid);
  if (video.owner != ctx.viewer) Fail(403, "video " + std::to_string(vid) + " is not yours");
  return video;
}

void AddMessage(SqliteDb& db, int64_t to, std::string_view mtype, int64_t from,
                std::string_view text, std::optional<int64_t> vid, std::optional<int64_t> cid,
                int64_t now) {
  if (to == from || IsBlocked(db, to, from)) return;
  auto q = db.Prepare(
      "INSERT INTO messages(user_id, mtype, from_uid, text, video_id, comment_id, utc_ts) "
      "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
  q.Bind(1, to).Bind(2, mtype).Bind(3, from).Bind(4, text).Bind(5, vid).Bind(6, cid).Bind(7, now);
  q.Run();
}

Page ReadPage(ApiContext& ctx) {
  Page page;
  page.before = ctx.params.Int("before", 0, kMaxId).value_or(0);
  page.after = ctx.params.Int("after", 0, kMaxId).value_or(0);
  return page;
}

}  // namespace server
