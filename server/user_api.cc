// /api/user/...: identity bindings, profile and avatar, contacts and guests,
// the blacklist, search and recommendations, matching, invitations, settings.
#include <cmath>
#include <set>

#include "platform/utf8.h"
#include "server/api_context.h"
#include "server/crypto.h"
#include "server/durable_dir.h"
#include "server/identity_rules.h"
#include "server/model.h"

namespace server {
namespace {

using platform::Value;

constexpr size_t kMaxAvatarBytes = 2 << 20;
constexpr size_t kMaxArray = 2000;
constexpr size_t kMaxGuestEntryChars = kMaxIdentityChars + kMaxNameChars + kMaxUrlChars + 32;

// ---- bindings ----

Value BindingsAnswer(ApiContext& ctx) {
  Value answer;
  answer.Set("bindings", UserObject(ctx.db, ctx.viewer, true)["bindings"]);
  return answer;
}

void StoreBinding(ApiContext& ctx, const SignedIdentity& who, bool creating) {
  auto password = ctx.params.Text("password", 128);
  if (password && platform::CountUtf8Characters(*password) < 6) Fail(400, "the password must have at least 6 characters");
  auto screen_name = ctx.params.Text("screen_name", kMaxNameChars);
  if (creating && (!screen_name || screen_name->empty())) {
    Fail(400, "parameter \"screen_name\" is missing or empty");
  }
  std::optional<std::string> social[6] = {
      ctx.params.Text("avatar_url", kMaxUrlChars), ctx.params.Text("access_token", kMaxTokenChars),
      ctx.params.Text("expired_time", 64),         ctx.params.Text("session_uid", 256),
      ctx.params.Text("session_key", kMaxTokenChars), ctx.params.Text("secret_key", kMaxTokenChars)};

  // The identity may belong to nobody or to this user, never to another.
  auto owner = ctx.db.Prepare("SELECT user_id FROM identities WHERE provider=?1 AND identity=?2");
  owner.Bind(1, who.provider).Bind(2, who.identity);
  if (owner.Step() && owner.Int(0) != ctx.viewer) {
    Fail(409, who.identity + " is bound to another account");
  }
  auto current = ctx.db.Prepare("SELECT identity FROM identities WHERE user_id=?1 AND provider=?2");
  current.Bind(1, ctx.viewer).Bind(2, who.provider);
  std::optional<std::string> existing;
  if (current.Step()) existing = current.Text(0);
  if (creating && existing && *existing != who.identity) {
    Fail(409, "the account already has a \"" + who.provider + "\" binding; refresh it instead");
  }
  if (!creating && !existing) Fail(404, "the account has no \"" + who.provider + "\" binding");
  if ((who.provider == "email" || who.provider == "mobile") && !password && existing != who.identity) {
    Fail(400, "parameter \"password\" is missing");
  }

  Transaction transaction(ctx.db);
  if (existing && *existing != who.identity) {
    auto q = ctx.db.Prepare("DELETE FROM identities WHERE user_id=?1 AND provider=?2");
    q.Bind(1, ctx.viewer).Bind(2, who.provider).Run();
    existing.reset();
  }
  if (!existing) {
    bool active = who.provider != "mobile" || ctx.settings.activate_mobile_signups;
    auto q = ctx.db.Prepare(
        "INSERT INTO identities(provider, identity, user_id, activated, created_ts) "
        "VALUES(?1, ?2, ?3, ?4, ?5)");
    q.Bind(1, who.provider).Bind(2, who.identity).Bind(3, ctx.viewer);
    q.Bind(4, int64_t{active}).Bind(5, ctx.now).Run();
  }
  auto q = ctx.db.Prepare(
      "UPDATE identities SET screen_name=COALESCE(?3, screen_name), "
      "password_hash=COALESCE(?4, password_hash), avatar_url=COALESCE(?5, avatar_url), "
      "access_token=COALESCE(?6, access_token), expired_time=COALESCE(?7, expired_time), "
      "session_uid=COALESCE(?8, session_uid), session_key=COALESCE(?9, session_key), "
      "secret_key=COALESCE(?10, secret_key) WHERE provider=?1 AND identity=?2");
  q.Bind(1, who.provider).Bind(2, who.identity);
  if (screen_name) q.Bind(3, *screen_name); else q.BindNull(3);
  if (password) q.Bind(4, HashPassword(*password)); else q.BindNull(4);
  for (int i = 0; i < 6; ++i) {
    if (social[i]) q.Bind(5 + i, *social[i]); else q.BindNull(5 + i);
  }
  q.Run();
  transaction.Commit();
}

Value Bind(ApiContext& ctx) {
  SignedIdentity who = ReadSignedIdentity(ctx.params, {"email", "mobile", "weibo", "qzone", "renren"});
  CheckIdentityForm(who);
  StoreBinding(ctx, who, true);
  return BindingsAnswer(ctx);
}

Value RefreshBinding(ApiContext& ctx) {
  SignedIdentity who = ReadSignedIdentity(ctx.params, {"email", "mobile", "weibo", "qzone", "renren"});
  CheckIdentityForm(who);
  StoreBinding(ctx, who, false);
  return BindingsAnswer(ctx);
}

// ---- user, profile, avatar ----

Value GetUser(ApiContext& ctx) {
  int64_t uid = ctx.params.Int("uid", 1, kMaxId).value_or(ctx.viewer);
  Value user = UserObject(ctx.db, uid, uid == ctx.viewer);
  if (user.is_null()) Fail(404, "no user " + std::to_string(uid));
  return user;
}

bool IsDate(const std::string& text) {  // yyyy/MM/dd
  if (text.size() != 10 || text[4] != '/' || text[7] != '/') return false;
  for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  int month = std::stoi(text.substr(5, 2)), day = std::stoi(text.substr(8, 2));
  return month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

Value UpdateProfile(ApiContext& ctx) {
  struct Field {
    const char* name;
    size_t max;
  };
  static constexpr Field kFields[] = {
      {"screen_name", kMaxNameChars},  {"first_name", kMaxNameChars}, {"last_name", kMaxNameChars},
      {"domain_name", kMaxNameChars},  {"avatar_url", kMaxUrlChars},  {"background_url", kMaxUrlChars},
      {"gender", 1},                   {"birthday", 10},              {"location", 128},
      {"introduction", 500}};
  std::vector<std::pair<std::string, std::string>> changes;
  for (const Field& field : kFields) {
    auto value = ctx.params.Text(field.name, field.max, std::string(field.name) == "introduction");
    if (!value) continue;
    std::string name = field.name;
    if (name == "screen_name" && value->empty()) Fail(400, "parameter \"screen_name\" is empty");
    if (name == "gender" && !value->empty() && *value != "M" && *value != "F") {
      Fail(400, "parameter \"gender\" must be \"M\" or \"F\"");
    }
    if (name == "birthday" && !value->empty() && !IsDate(*value)) {
      Fail(400, "parameter \"birthday\" must be a date yyyy/MM/dd");
    }
    changes.emplace_back(name, *value);
  }
  Transaction transaction(ctx.db);
  for (const auto& [name, value] : changes) {
    // The column name comes from the fixed table above, never from the request.
    auto q = ctx.db.Prepare("UPDATE users SET " + name + "=?2 WHERE id=?1");
    q.Bind(1, ctx.viewer).Bind(2, value).Run();
  }
  transaction.Commit();
  return UserObject(ctx.db, ctx.viewer, true)["profile"];
}

Value UploadAvatar(ApiContext& ctx) {
  auto desc = ctx.request.parts.find("desc");
  if (desc != ctx.request.parts.end() && desc->second.content != "avatar") {
    Fail(400, "form field \"desc\" must be \"avatar\"");
  }
  auto payload = ctx.request.parts.find("payload");
  if (payload == ctx.request.parts.end()) Fail(400, "form part \"payload\" is missing");
  const std::string& image = payload->second.content;
  if (image.size() > kMaxAvatarBytes) Fail(413, "an avatar may hold at most 2 MiB");
  std::string extension;
  if (image.size() >= 3 && image.compare(0, 3, "\xFF\xD8\xFF") == 0) extension = ".jpg";
  if (image.size() >= 8 && image.compare(0, 8, "\x89PNG\r\n\x1A\n") == 0) extension = ".png";
  if (extension.empty()) Fail(400, "the avatar must be a JPEG or PNG image");
  std::string name = std::to_string(ctx.viewer) + "-" + RandomHex(8) + extension;
  DurableDir dir(ctx.settings.avatar_dir);
  std::string error;
  if (!dir.Create(&error) || !dir.WriteFile(name, image, &error)) Fail(500, "storing the avatar failed");
  std::string url = ctx.request.base_url + "/media/avatars/" + name;
  auto q = ctx.db.Prepare("UPDATE users SET avatar_url=?2 WHERE id=?1");
  q.Bind(1, ctx.viewer).Bind(2, url).Run();
  Value answer;
  answer.Set("url", url);
  return answer;
}

// ---- contacts and guests ----

struct Guest {
  std::string provider, identity, screen_name, avatar_url;
};

// "provider#identity#screen name#avatar URL" (add) or "provider#identity"
// (remove). The screen name may itself hold "#": the avatar URL is what
// follows the last one.
Guest ParseGuest(const std::string& entry, bool full) {
  Guest guest;
  size_t first = entry.find('#');
  size_t second = first == std::string::npos ? std::string::npos : entry.find('#', first + 1);
  guest.provider = entry.substr(0, first);
  if (first == std::string::npos || !IsKnownProvider(guest.provider)) {
    Fail(400, "guest \"" + entry + "\" must begin with a provider and \"#\"");
  }
  guest.identity = entry.substr(first + 1, second == std::string::npos ? std::string::npos
                                                                       : second - first - 1);
  if (guest.identity.empty()) Fail(400, "guest \"" + entry + "\" has no identity");
  if (full) {
    if (second == std::string::npos) {
      Fail(400, "guest \"" + entry + "\" must be provider#identity#screen name#avatar URL");
    }
    std::string rest = entry.substr(second + 1);
    size_t last = rest.rfind('#');
    if (last == std::string::npos) {
      Fail(400, "guest \"" + entry + "\" must be provider#identity#screen name#avatar URL");
    }
    guest.screen_name = rest.substr(0, last);
    guest.avatar_url = rest.substr(last + 1);
  }
  return guest;
}

std::vector<int64_t> ReadUserIds(ApiContext& ctx, const char* name) {
  std::vector<int64_t> ids;
  for (const std::string& text : ctx.params.Array(name, kMaxArray, 20)) {
    char* end = nullptr;
    long long id = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || id < 1 || id > kMaxId) {
      Fail(400, std::string("\"") + name + "\" must hold user ids; \"" + text + "\" is not one");
    }
    ids.push_back(id);
  }
  return ids;
}

Value ContactList(ApiContext& ctx) {
  Value friends = Value::Array();
  auto q = ctx.db.Prepare("SELECT friend_id FROM contacts WHERE user_id=?1 ORDER BY created_ts, friend_id");
  q.Bind(1, ctx.viewer);
  while (q.Step()) friends.Append(UserObject(ctx.db, q.Int(0), false));
  Value guests = Value::Array();
  auto g = ctx.db.Prepare(
      "SELECT provider, identity, screen_name, avatar_url FROM guests WHERE user_id=?1 "
      "ORDER BY created_ts, provider, identity");
  g.Bind(1, ctx.viewer);
  while (g.Step()) {
    Value guest;
    guest.Set("provider", g.Text(0));
    guest.Set("identity", g.Text(1));
    guest.Set("screen_name", g.Text(2));
    guest.Set("avatar_url", g.Text(3));
    guests.Append(std::move(guest));
  }
  Value answer;
  answer.Set("friend_list", std::move(friends));
  answer.Set("guest_list", std::move(guests));
  return answer;
}

int64_t CountContacts(ApiContext& ctx) {
  auto q = ctx.db.Prepare(
      "SELECT (SELECT COUNT(*) FROM contacts WHERE user_id=?1) + "
      "(SELECT COUNT(*) FROM guests WHERE user_id=?1)");
  q.Bind(1, ctx.viewer);
  q.Step();
  return q.Int(0);
}

Value AddContacts(ApiContext& ctx) {
  std::vector<int64_t> internal = ReadUserIds(ctx, "internal");
  std::vector<Guest> external;
  for (const std::string& entry : ctx.params.Array("external", kMaxArray, kMaxGuestEntryChars)) {
    Guest guest = ParseGuest(entry, true);
    if (guest.screen_name.size() > 256 || guest.avatar_url.size() > kMaxUrlChars) {
      Fail(400, "guest \"" + entry + "\" is too long");
    }
    external.push_back(std::move(guest));
  }
  if (internal.empty() && external.empty()) Fail(400, "give \"internal\" or \"external\" entries");
  std::set<int64_t> fresh_friends;
  for (int64_t id : internal) {
    if (id == ctx.viewer) Fail(400, "you cannot add yourself");
    if (!UserExists(ctx.db, id)) Fail(404, "no user " + std::to_string(id));
    auto q = ctx.db.Prepare("SELECT 1 FROM contacts WHERE user_id=?1 AND friend_id=?2");
    q.Bind(1, ctx.viewer).Bind(2, id);
    if (!q.Step()) fresh_friends.insert(id);
  }
  std::set<std::pair<std::string, std::string>> fresh_guests;
  for (const Guest& guest : external) {
    auto q = ctx.db.Prepare("SELECT 1 FROM guests WHERE user_id=?1 AND provider=?2 AND identity=?3");
    q.Bind(1, ctx.viewer).Bind(2, guest.provider).Bind(3, guest.identity);
    if (!q.Step()) fresh_guests.insert({guest.provider, guest.identity});
  }
  int64_t total = CountContacts(ctx) + static_cast<int64_t>(fresh_friends.size() + fresh_guests.size());
  if (total > ctx.settings.contacts_limit) {
    Fail(403, "the contact list may hold at most " + std::to_string(ctx.settings.contacts_limit) +
                  " people");
  }
  Transaction transaction(ctx.db);
  for (int64_t id : fresh_friends) {
    auto q = ctx.db.Prepare("INSERT INTO contacts(user_id, friend_id, created_ts) VALUES(?1, ?2, ?3)");
    q.Bind(1, ctx.viewer).Bind(2, id).Bind(3, ctx.now).Run();
    AddMessage(ctx.db, id, "contacts", ctx.viewer, "", std::nullopt, std::nullopt, ctx.now);
  }
  for (const Guest& guest : external) {
    auto q = ctx.db.Prepare(
        "INSERT INTO guests(user_id, provider, identity, screen_name, avatar_url, created_ts) "
        "VALUES(?1, ?2, ?3, ?4, ?5, ?6) ON CONFLICT(user_id, provider, identity) DO UPDATE SET "
        "screen_name=excluded.screen_name, avatar_url=excluded.avatar_url");
    q.Bind(1, ctx.viewer).Bind(2, guest.provider).Bind(3, guest.identity);
    q.Bind(4, guest.screen_name).Bind(5, guest.avatar_url).Bind(6, ctx.now).Run();
  }
  transaction.Commit();
  return ContactList(ctx);
}

Value RemoveContacts(ApiContext& ctx) {
  std::vector<int64_t> internal = ReadUserIds(ctx, "internal");
  std::vector<Guest> external;
  for (const std::string& entry : ctx.params.Array("external", kMaxArray, kMaxGuestEntryChars)) {
    external.push_back(ParseGuest(entry, false));
  }
  if (internal.empty() && external.empty()) Fail(400, "give \"internal\" or \"external\" entries");
  Transaction transaction(ctx.db);
  for (int64_t id : internal) {
    auto q = ctx.db.Prepare("DELETE FROM contacts WHERE user_id=?1 AND friend_id=?2");
    q.Bind(1, ctx.viewer).Bind(2, id).Run();
  }
  for (const Guest& guest : external) {
    auto q = ctx.db.Prepare("DELETE FROM guests WHERE user_id=?1 AND provider=?2 AND identity=?3");
    q.Bind(1, ctx.viewer).Bind(2, guest.provider).Bind(3, guest.identity).Run();
  }
  transaction.Commit();
  return ContactList(ctx);
}

// ---- blacklist ----

Value GetBlacklist(ApiContext& ctx) {
  Value list = Value::Array();
  auto q = ctx.db.Prepare("SELECT blocked_id FROM blacklist WHERE user_id=?1 ORDER BY created_ts, blocked_id");
  q.Bind(1, ctx.viewer);
  while (q.Step()) list.Append(UserObject(ctx.db, q.Int(0), false));
  return list;
}

Value AddToBlacklist(ApiContext& ctx) {
  int64_t uid = ctx.params.RequiredInt("uid", 1, kMaxId);
  if (uid == ctx.viewer) Fail(400, "you cannot blacklist yourself");
  if (!UserExists(ctx.db, uid)) Fail(404, "no user " + std::to_string(uid));
  Transaction transaction(ctx.db);
  auto q = ctx.db.Prepare("INSERT OR IGNORE INTO blacklist(user_id, blocked_id, created_ts) VALUES(?1, ?2, ?3)");
  q.Bind(1, ctx.viewer).Bind(2, uid).Bind(3, ctx.now).Run();
  // A blocked user is no friend any more.
  auto d = ctx.db.Prepare("DELETE FROM contacts WHERE user_id=?1 AND friend_id=?2");
  d.Bind(1, ctx.viewer).Bind(2, uid).Run();
  transaction.Commit();
  return Value(Value::Dictionary());
}

Value RemoveFromBlacklist(ApiContext& ctx) {
  int64_t uid = ctx.params.RequiredInt("uid", 1, kMaxId);
  auto q = ctx.db.Prepare("DELETE FROM blacklist WHERE user_id=?1 AND blocked_id=?2");
  q.Bind(1, ctx.viewer).Bind(2, uid).Run();
  return Value(Value::Dictionary());
}

// ---- search, recommendations, matching ----

Value Search(ApiContext& ctx) {
  auto uid = ctx.params.Int("uid", 0, kMaxId);
  auto mobile = ctx.params.Text("mobile", 24);
  auto screen_name = ctx.params.Text("screen_name", kMaxNameChars);
  auto latitude = ctx.params.Real("latitude", -90, 90);
  auto longitude = ctx.params.Real("longitude", -180, 180);
  if (latitude.has_value() != longitude.has_value()) {
    Fail(400, "give both \"latitude\" and \"longitude\"");
  }
  Value list = Value::Array();
  if (uid) {
    if (*uid > 0 && UserExists(ctx.db, *uid)) list.Append(UserObject(ctx.db, *uid, *uid == ctx.viewer));
    return list;
  }
  if (mobile) {
    auto q = ctx.db.Prepare("SELECT user_id FROM identities WHERE provider='mobile' AND identity=?1");
    q.Bind(1, *mobile);
    while (q.Step()) list.Append(UserObject(ctx.db, q.Int(0), q.Int(0) == ctx.viewer));
    return list;
  }
  if (screen_name) {
    std::string pattern = "%";
    for (char c : *screen_name) {
      if (c == '%' || c == '_' || c == '\\') pattern += '\\';
      pattern += c;
    }
    pattern += '%';
    if (screen_name->empty()) return list;
    auto q = ctx.db.Prepare(
        "SELECT id FROM users WHERE screen_name LIKE ?1 ESCAPE '\\' ORDER BY id LIMIT ?2");
    q.Bind(1, pattern).Bind(2, int64_t{ctx.settings.list_size});
    while (q.Step()) list.Append(UserObject(ctx.db, q.Int(0), q.Int(0) == ctx.viewer));
    return list;
  }
  if (!latitude) Fail(400, "give \"uid\", \"mobile\", \"screen_name\", or \"latitude\" and \"longitude\"");
  // Recommendations: people who added the user, then people nearby; never
  // the user, his friends or people he blocked.
  auto store = ctx.db.Prepare("UPDATE users SET latitude=?2, longitude=?3 WHERE id=?1");
  store.Bind(1, ctx.viewer).Bind(2, *latitude).Bind(3, *longitude).Run();
  auto q = ctx.db.Prepare(
      "SELECT u.id, EXISTS(SELECT 1 FROM contacts c WHERE c.user_id=u.id AND c.friend_id=?1) AS "
      "follower FROM users u WHERE u.id <> ?1 "
      "AND NOT EXISTS(SELECT 1 FROM contacts c WHERE c.user_id=?1 AND c.friend_id=u.id) "
      "AND NOT EXISTS(SELECT 1 FROM blacklist b WHERE b.user_id=?1 AND b.blocked_id=u.id) "
      "AND (EXISTS(SELECT 1 FROM contacts c WHERE c.user_id=u.id AND c.friend_id=?1) OR "
      "(u.latitude IS NOT NULL AND abs(u.latitude-?2) < 1 AND abs(u.longitude-?3) < 1)) "
      "ORDER BY follower DESC, (u.latitude-?2)*(u.latitude-?2)+(u.longitude-?3)*(u.longitude-?3), "
      "u.id LIMIT ?4");
  q.Bind(1, ctx.viewer).Bind(2, *latitude).Bind(3, *longitude).Bind(4, int64_t{ctx.settings.list_size});
  while (q.Step()) {
    Value user = UserObject(ctx.db, q.Int(0), false);
    user.Set("is_follower", q.Int(1) != 0);
    list.Append(std::move(user));
  }
  return list;
}

Value Match(ApiContext& ctx) {
  std::vector<Guest> wanted;
  for (const std::string& entry : ctx.params.Array("identity", kMaxArray, kMaxIdentityChars + 16)) {
    wanted.push_back(ParseGuest(entry, false));
  }
  std::map<int64_t, Value> users;  // by id, each with the bindings that matched
  for (const Guest& guest : wanted) {
    auto q = ctx.db.Prepare("SELECT user_id, screen_name, avatar_url FROM identities WHERE provider=?1 AND identity=?2");
    q.Bind(1, guest.provider).Bind(2, guest.identity);
    if (!q.Step()) continue;
    int64_t uid = q.Int(0);
    Value& user = users[uid];
    if (user.is_null()) user = UserObject(ctx.db, uid, uid == ctx.viewer);
    // The asker knows this identity already; make sure it is listed.
    bool listed = false;
    for (const Value& b : *user["bindings"].array()) {
      listed = listed || (b["provider"].AsString() == guest.provider && b["identity"].AsString() == guest.identity);
    }
    if (!listed) {
      Value binding;
      binding.Set("provider", guest.provider);
      binding.Set("identity", guest.identity);
      binding.Set("screen_name", q.Text(1));
      binding.Set("avatar_url", q.Text(2));
      user.dictionary()->at("bindings").Append(std::move(binding));
    }
  }
  Value list = Value::Array();
  for (auto& [uid, user] : users) list.Append(std::move(user));
  return list;
}

Value Invite(ApiContext& ctx) {
  std::string mobile = ctx.params.RequiredText("mobile", 24);
  if (!IsValidMobile(mobile)) Fail(400, "\"" + mobile + "\" is not a mobile number");
  auto q = ctx.db.Prepare("INSERT INTO invitations(user_id, mobile, created_ts) VALUES(?1, ?2, ?3)");
  q.Bind(1, ctx.viewer).Bind(2, mobile).Bind(3, ctx.now).Run();
  return Value(Value::Dictionary());
}

Value Settings(ApiContext& ctx) {
  Value answer;
  answer.Set("contacts_limit", ctx.settings.contacts_limit);
  return answer;
}

}  // namespace

void AddUserRoutes(std::vector<ApiRoute>& routes) {
  using A = ApiRoute::Access;
  routes.push_back({"POST", "/api/user/binding", A::kToken, Bind});
  routes.push_back({"POST", "/api/user/binding/refresh", A::kToken, RefreshBinding});
  routes.push_back({"GET", "/api/user", A::kToken, GetUser});
  routes.push_back({"POST", "/api/user/profile", A::kToken, UpdateProfile});
  routes.push_back({"POST", "/api/user/upload", A::kToken, UploadAvatar});
  routes.push_back({"GET", "/api/user/contacts", A::kToken, ContactList});
  routes.push_back({"POST", "/api/user/contacts", A::kToken, AddContacts});
  routes.push_back({"DELETE", "/api/user/contacts", A::kToken, RemoveContacts});
  routes.push_back({"GET", "/api/user/blacklist", A::kToken, GetBlacklist});
  routes.push_back({"POST", "/api/user/blacklist", A::kToken, AddToBlacklist});
  routes.push_back({"DELETE", "/api/user/blacklist", A::kToken, RemoveFromBlacklist});
  routes.push_back({"GET", "/api/user/search", A::kToken, Search});
  routes.push_back({"GET", "/api/user/match", A::kToken, Match});
  routes.push_back({"POST", "/api/user/invite", A::kToken, Invite});
  routes.push_back({"GET", "/api/user/settings", A::kToken, Settings});
}

}  // namespace server
