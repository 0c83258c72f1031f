// /api/message/...: the inbox, its unread count, the push setting.
#include "server/api_context.h"
#include "server/model.h"

namespace server {
namespace {

using platform::Value;

struct MessageRow {
  int64_t id, utc_ts;
  Value object;
};

Value Messages(ApiContext& ctx) {
  // The clients page the inbox by "utc_ts", a time in whole seconds that many
  // messages can share. A page therefore never ends inside a run of equal
  // times: the next request ("before" that time) would skip the rest of it.
  auto before = ctx.params.Int("before", 0, kMaxId).value_or(0);
  auto after = ctx.params.Int("after", 0, kMaxId).value_or(0);
  int64_t limit = ctx.settings.list_size;
  auto read = [&](std::optional<int64_t> only_time, int64_t count) {
    auto q = ctx.db.Prepare(
      "SELECT m.id, m.mtype, m.from_uid, u.screen_name, u.avatar_url, m.text, m.utc_ts, "
      "m.video_id, v.stream_key, c.ctype, c.stream_key, m.comment_id FROM messages m "
      "LEFT JOIN users u ON u.id = m.from_uid LEFT JOIN videos v ON v.id = m.video_id "
      "LEFT JOIN comments c ON c.id = m.comment_id WHERE m.user_id = ?1 "
      "AND (?2 = 0 OR m.utc_ts < ?2) AND (?3 = 0 OR m.utc_ts > ?3) "
      "AND (?5 IS NULL OR m.utc_ts = ?5) ORDER BY m.utc_ts DESC, m.id DESC LIMIT ?4");
    std::vector<MessageRow> rows;
    q.Bind(1, ctx.viewer).Bind(2, before).Bind(3, after).Bind(4, count).Bind(5, only_time);
    while (q.Step()) {
      Value m;
      std::string mtype = q.Text(1);
      m.Set("mtype", mtype);
      m.Set("from_uid", q.Int(2));
      m.Set("from_screen_name", q.Text(3));
      m.Set("from_avatar_url", q.Text(4));
      m.Set("text", q.Text(5));
      m.Set("utc_ts", q.Int(6));
      m.Set("vid", q.IsNull(7) ? 0 : q.Int(7));
      std::string play = q.IsNull(7) ? "" : VideoPlayUrl(ctx.request.base_url, q.Int(7), q.Text(8));
      m.Set("video_play_url", play);
      m.Set("action_url", play);
      if (mtype == "comment") {
        m.Set("voice_play_url", q.Text(9) == "voice"
                                    ? VoicePlayUrl(ctx.request.base_url, q.Int(11), q.Text(10)) : std::string());
      }
      rows.push_back({q.Int(0), q.Int(6), std::move(m)});
    }
    return rows;
  };
  std::vector<MessageRow> rows = read(std::nullopt, limit + 1);
  if (static_cast<int64_t>(rows.size()) > limit) {
    int64_t edge = rows[static_cast<size_t>(limit)].utc_ts;
    rows.resize(static_cast<size_t>(limit));
    while (!rows.empty() && rows.back().utc_ts == edge) rows.pop_back();
    // One second holds more than a page: give that whole second.
    if (rows.empty()) rows = read(edge, INT64_MAX);
  }
  Value list = Value::Array();
  for (auto& row : rows) list.Append(std::move(row.object));
  return list;
}

Value Count(ApiContext& ctx) {
  auto after = ctx.params.Int("after", 0, kMaxId).value_or(0);
  auto q = ctx.db.Prepare("SELECT COUNT(*) FROM messages WHERE user_id = ?1 AND utc_ts > ?2");
  q.Bind(1, ctx.viewer).Bind(2, after);
  q.Step();
  Value answer;
  answer.Set("count", q.Int(0));
  return answer;
}

Value SetSetting(ApiContext& ctx) {
  auto token = ctx.params.Text("apn_token", 256);
  auto on = ctx.params.Bool("switch");
  if (token && !token->empty()) {
    // "#" stands for a device that has no push token yet.
    auto q = ctx.db.Prepare("UPDATE users SET apn_token=?2 WHERE id=?1");
    q.Bind(1, ctx.viewer).Bind(2, *token == "#" ? std::string() : *token).Run();
  }
  if (on) {
    auto q = ctx.db.Prepare("UPDATE users SET push_switch=?2 WHERE id=?1");
    q.Bind(1, ctx.viewer).Bind(2, int64_t{*on}).Run();
  }
  return Value(Value::Dictionary());
}

Value GetSetting(ApiContext& ctx) {
  auto q = ctx.db.Prepare("SELECT push_switch FROM users WHERE id=?1");
  q.Bind(1, ctx.viewer);
  q.Step();
  Value answer;
  answer.Set("switch", q.Int(0) != 0);
  return answer;
}

}  // namespace

void AddMessageRoutes(std::vector<ApiRoute>& routes) {
  using A = ApiRoute::Access;
  routes.push_back({"GET", "/api/message/unread", A::kToken, Messages});
  routes.push_back({"GET", "/api/message/unread/count", A::kToken, Count});
  routes.push_back({"POST", "/api/message/setting", A::kToken, SetSetting});
  routes.push_back({"GET", "/api/message/setting", A::kToken, GetSetting});
}

}  // namespace server
