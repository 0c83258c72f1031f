// /api/auth/...: registration, sign-in by password or social network,
// activation, password reset and logout.
#include "platform/utf8.h"
#include "server/api_context.h"
#include "server/crypto.h"
#include "server/identity_rules.h"
#include "server/model.h"

namespace server {
namespace {

using platform::Value;

constexpr size_t kMinPasswordChars = 6;
constexpr size_t kMaxPasswordChars = 128;

std::string ReadPassword(const Params& params, const char* name = "password") {
  std::string password = params.RequiredText(name, kMaxPasswordChars);
  if (platform::CountUtf8Characters(password) < kMinPasswordChars) {
    Fail(400, "the password must have at least " + std::to_string(kMinPasswordChars) +
                  " characters");
  }
  return password;
}

std::string ReadScreenName(const Params& params, bool required) {
  auto name = params.Text("screen_name", kMaxNameChars);
  if (!name || name->empty()) {
    if (required) Fail(400, "parameter \"screen_name\" is missing or empty");
    return {};
  }
  return *name;
}

struct IdentityRow {
  int64_t user_id = 0;
  std::string password_hash;
  bool activated = false;
};

std::optional<IdentityRow> FindIdentity(SqliteDb& db, const SignedIdentity& who) {
  auto q = db.Prepare(
      "SELECT user_id, password_hash, activated FROM identities WHERE provider=?1 AND identity=?2");
  q.Bind(1, who.provider).Bind(2, who.identity);
  if (!q.Step()) return std::nullopt;
  return IdentityRow{q.Int(0), q.Text(1), q.Int(2) != 0};
}

int64_t CreateUser(ApiContext& ctx, const std::string& screen_name, const std::string& avatar) {
  auto q = ctx.db.Prepare("INSERT INTO users(screen_name, avatar_url, created_ts) VALUES(?1, ?2, ?3)");
  q.Bind(1, screen_name).Bind(2, avatar).Bind(3, ctx.now).Run();
  int64_t uid = ctx.db.LastInsertId();
  AddMessage(ctx.db, uid, "system", 0, "Welcome to Selvo, " + screen_name + "!", std::nullopt,
             std::nullopt, ctx.now);
  return uid;
}

Value Login(ApiContext& ctx) {
  SignedIdentity who = ReadSignedIdentity(ctx.params, {"email", "mobile"});
  std::string password = ctx.params.RequiredText("password", kMaxPasswordChars);
  auto row = FindIdentity(ctx.db, who);
  if (!row || row->password_hash.empty() || !VerifyPassword(password, row->password_hash)) {
    Fail(403, "wrong account or password");
  }
  if (!row->activated) return LoginResponse(ctx.db, row->user_id, who.provider, who.identity, nullptr);
  std::string token = IssueToken(ctx.db, row->user_id, ctx.now);
  return LoginResponse(ctx.db, row->user_id, who.provider, who.identity, &token);
}

Value Register(ApiContext& ctx) {
  SignedIdentity who = ReadSignedIdentity(ctx.params, {"email", "mobile"});
  CheckIdentityForm(who);
  std::string password = ReadPassword(ctx.params);
  std::string screen_name = ReadScreenName(ctx.params, true);
  if (FindIdentity(ctx.db, who)) Fail(409, who.identity + " is already registered");
  int64_t uid = CreateUser(ctx, screen_name, "");
  bool active = who.provider == "email" || ctx.settings.activate_mobile_signups;
  auto q = ctx.db.Prepare(
      "INSERT INTO identities(provider, identity, user_id, screen_name, password_hash, activated, "
      "created_ts) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
  q.Bind(1, who.provider).Bind(2, who.identity).Bind(3, uid).Bind(4, screen_name);
  q.Bind(5, HashPassword(password)).Bind(6, int64_t{active}).Bind(7, ctx.now).Run();
  if (!active) return LoginResponse(ctx.db, uid, who.provider, who.identity, nullptr);
  std::string token = IssueToken(ctx.db, uid, ctx.now);
  return LoginResponse(ctx.db, uid, who.provider, who.identity, &token);
}

// The social network's authorisation data, kept with the binding.
struct SocialData {
  std::optional<std::string> avatar_url, access_token, expired_time, session_uid, session_key,
      secret_key;
};

SocialData ReadSocialData(const Params& params) {
  SocialData data;
  data.avatar_url = params.Text("avatar_url", kMaxUrlChars);
  data.access_token = params.Text("access_token", kMaxTokenChars);
  data.expired_time = params.Text("expired_time", 64);
  data.session_uid = params.Text("session_uid", 256);
  data.session_key = params.Text("session_key", kMaxTokenChars);
  data.secret_key = params.Text("secret_key", kMaxTokenChars);
  return data;
}

Value SocialLogin(ApiContext& ctx) {
  SignedIdentity who = ReadSignedIdentity(ctx.params, {"weibo", "qzone", "renren"});
  std::string screen_name = ReadScreenName(ctx.params, true);
  SocialData data = ReadSocialData(ctx.params);
  int64_t uid;
  if (auto row = FindIdentity(ctx.db, who)) {
    uid = row->user_id;
  } else {
    uid = CreateUser(ctx, screen_name, data.avatar_url.value_or(""));
    auto q = ctx.db.Prepare(
        "INSERT INTO identities(provider, identity, user_id, created_ts) VALUES(?1, ?2, ?3, ?4)");
    q.Bind(1, who.provider).Bind(2, who.identity).Bind(3, uid).Bind(4, ctx.now).Run();
  }
  auto q = ctx.db.Prepare(
      "UPDATE identities SET screen_name=?3, avatar_url=COALESCE(?4, avatar_url), "
      "access_token=COALESCE(?5, access_token), expired_time=COALESCE(?6, expired_time), "
      "session_uid=COALESCE(?7, session_uid), session_key=COALESCE(?8, session_key), "
      "secret_key=COALESCE(?9, secret_key) WHERE provider=?1 AND identity=?2");
  q.Bind(1, who.provider).Bind(2, who.identity).Bind(3, screen_name);
  int index = 4;
  for (const auto* field : {&data.avatar_url, &data.access_token, &data.expired_time,
                            &data.session_uid, &data.session_key, &data.secret_key}) {
    if (*field) {
      q.Bind(index, **field);
    } else {
      q.BindNull(index);
    }
    ++index;
  }
  q.Run();
  std::string token = IssueToken(ctx.db, uid, ctx.now);
  return LoginResponse(ctx.db, uid, who.provider, who.identity, &token);
}

// Records the request; a developer activates the account with
// "selvo-server activate" (see its --help).
Value Reactivate(ApiContext& ctx) {
  SignedIdentity who = ReadSignedIdentity(ctx.params, {"email", "mobile"});
  if (!FindIdentity(ctx.db, who)) Fail(404, who.identity + " is not registered");
  auto q = ctx.db.Prepare(
      "INSERT INTO account_requests(kind, provider, identity, created_ts) VALUES('activate', ?1, ?2, ?3)");
  q.Bind(1, who.provider).Bind(2, who.identity).Bind(3, ctx.now).Run();
  Value answer;
  answer.Set("msg", "An activation message is on its way.");
  return answer;
}

// Records the request without telling whether the identity exists.
Value ResetPassword(ApiContext& ctx) {
  SignedIdentity who = ReadSignedIdentity(ctx.params, {"email", "mobile"});
  CheckIdentityForm(who);
  auto q = ctx.db.Prepare(
      "INSERT INTO account_requests(kind, provider, identity, created_ts) VALUES('resetpw', ?1, ?2, ?3)");
  q.Bind(1, who.provider).Bind(2, who.identity).Bind(3, ctx.now).Run();
  Value answer;
  answer.Set("msg", "Instructions to reset the password are on their way.");
  return answer;
}

Value Logout(ApiContext& ctx) {
  const std::string* token = ctx.request.Header("x-access-token");
  auto q = ctx.db.Prepare("DELETE FROM tokens WHERE token_hash=?1");
  q.Bind(1, TokenDigest(token ? *token : "")).Run();
  return Value(Value::Dictionary());
}

}  // namespace

void AddAccountRoutes(std::vector<ApiRoute>& routes) {
  using A = ApiRoute::Access;
  routes.push_back({"POST", "/api/auth/login", A::kIdentity, Login});
  routes.push_back({"POST", "/api/auth/register", A::kIdentity, Register});
  routes.push_back({"POST", "/api/auth/sns", A::kIdentity, SocialLogin});
  routes.push_back({"POST", "/api/auth/reactivate", A::kIdentity, Reactivate});
  routes.push_back({"POST", "/api/auth/resetpw", A::kIdentity, ResetPassword});
  routes.push_back({"POST", "/api/auth/logout", A::kToken, Logout});
}

}  // namespace server
