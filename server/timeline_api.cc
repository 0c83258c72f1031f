// /api/timeline (and /webapi/timeline): the public square by channel and sort;
// /api/timeline/inbox: the friends' room and its count of newer videos.
#include "server/api_context.h"
#include "server/model.h"

namespace server {
namespace {

using platform::Value;

Value Square(ApiContext& ctx) {
  auto channel = ctx.params.Text("channel", kMaxNameChars);
  auto sort = ctx.params.Choice("sort", {"hot", "new"});
  Page page = ReadPage(ctx);
  bool hot = sort && *sort == "hot";
  // "hot" is a ranking, not a time line: it has no before or after, and the
  // clients replace their list with each answer.
  if (hot) page = Page{};
  std::string sql = std::string("SELECT ") + kVideoColumns +
                    " FROM videos v JOIN users u ON u.id = v.owner_id WHERE v.public = 1 AND " +
                    kVisibleToViewer +
                    " AND (?2 IS NULL OR v.channel = ?2) AND (?3 = 0 OR v.id < ?3) AND "
                    "(?4 = 0 OR v.id > ?4) ORDER BY " +
                    (hot ? "v.watcher_counter + 3 * v.liker_counter + 5 * v.comment_counter DESC, "
                         : "") +
                    "v.id DESC LIMIT ?5";
  auto q = ctx.db.Prepare(sql);
  q.Bind(1, ctx.viewer);
  if (channel && !channel->empty()) q.Bind(2, *channel); else q.BindNull(2);
  q.Bind(3, page.before).Bind(4, page.after).Bind(5, int64_t{ctx.settings.list_size});
  Value list = Value::Array();
  while (q.Step()) list.Append(VideoObject(ctx, q));
  return list;
}

// The friends' room: videos of the people the user added, and videos sent to
// him privately, that he may see; never his own or those of people he blocked.
const char* const kInboxCondition =
    " v.owner_id <> ?1 AND NOT EXISTS(SELECT 1 FROM blacklist b WHERE b.user_id = ?1 AND "
    "b.blocked_id = v.owner_id) AND (EXISTS(SELECT 1 FROM contacts c WHERE c.user_id = ?1 AND "
    "c.friend_id = v.owner_id) OR EXISTS(SELECT 1 FROM video_acl a WHERE a.video_id = v.id AND "
    "(a.user_id = ?1 OR EXISTS(SELECT 1 FROM identities i WHERE i.user_id = ?1 AND "
    "i.provider = a.provider AND i.identity = a.identity))))";

Value Inbox(ApiContext& ctx) {
  Page page = ReadPage(ctx);
  auto q = ctx.db.Prepare(std::string("SELECT ") + kVideoColumns +
                          " FROM videos v JOIN users u ON u.id = v.owner_id WHERE " +
                          kVisibleToViewer + " AND " + kInboxCondition +
                          " AND (?2 = 0 OR v.id < ?2) AND (?3 = 0 OR v.id > ?3) "
                          "ORDER BY v.id DESC LIMIT ?4");
  q.Bind(1, ctx.viewer).Bind(2, page.before).Bind(3, page.after);
  q.Bind(4, int64_t{ctx.settings.list_size});
  Value list = Value::Array();
  while (q.Step()) list.Append(VideoObject(ctx, q));
  return list;
}

Value InboxCount(ApiContext& ctx) {
  int64_t after = ctx.params.Int("vid", 0, kMaxId).value_or(0);
  auto q = ctx.db.Prepare(std::string("SELECT COUNT(*) FROM videos v WHERE ") + kVisibleToViewer +
                          " AND " + kInboxCondition + " AND v.id > ?2");
  q.Bind(1, ctx.viewer).Bind(2, after);
  q.Step();
  Value answer;
  answer.Set("count", q.Int(0));
  return answer;
}

}  // namespace

void AddTimelineRoutes(std::vector<ApiRoute>& routes) {
  using A = ApiRoute::Access;
  routes.push_back({"GET", "/api/timeline", A::kToken, Square});
  routes.push_back({"GET", "/webapi/timeline", A::kAnonymous, Square});
  routes.push_back({"GET", "/api/timeline/inbox", A::kToken, Inbox});
  routes.push_back({"GET", "/api/timeline/inbox/count", A::kToken, InboxCount});
}

}  // namespace server
