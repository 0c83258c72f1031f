// Sign-up, sign-in, activation and logout over real HTTP.
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <sys/wait.h>

#include "server/api_test_support.h"
#include "service/service_identity.h"

extern char** environ;

namespace server_api_test {
namespace {

Form Signed(const std::string& identity, const std::string& provider, Form more = {}) {
  Form form = {{"provider", provider},
               {"signature", service::Signature(identity, provider)},
               {"identity", identity}};
  form.insert(form.end(), more.begin(), more.end());
  return form;
}

int RunServerCommand(const std::vector<std::string>& words) {
  std::vector<std::string> argv = {server_testing::ServerBinary()};
  argv.insert(argv.end(), words.begin(), words.end());
  std::vector<char*> args;
  for (auto& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  pid_t pid;
  if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(AccountApiTest, RegisterLoginAndLogout) {
  HttpClient client(Server().url());
  const std::string email = "ann.login@example.com";
  HttpAnswer registered = client.Post(
      "/api/auth/register", Signed(email, "email", {{"password", "pass-word1"}, {"screen_name", "Ann"}}));
  ASSERT_TRUE(IsOk(registered));
  int64_t uid = registered.json["_id"].AsInt();
  EXPECT_GT(uid, 0);
  EXPECT_EQ(registered.json["login_meta"]["screen_name"].AsString(), "Ann");
  EXPECT_EQ(registered.json["profile"]["screen_name"].AsString(), "Ann");
  EXPECT_TRUE(registered.json["promotion"].is_bool());
  ASSERT_EQ(registered.json["bindings"].size(), 1u);
  std::string first_token = registered.json["login_meta"]["token"].AsString();
  ASSERT_FALSE(first_token.empty());

  // Twice: refused, nothing more stored.
  int64_t users = CountRows("users");
  EXPECT_TRUE(IsError(client.Post("/api/auth/register",
                                  Signed(email, "email", {{"password", "pass-word1"}, {"screen_name", "A"}})),
                      409, "already registered"));
  EXPECT_EQ(CountRows("users"), users);

  HttpAnswer login = client.Post("/api/auth/login", Signed(email, "email", {{"password", "pass-word1"}}));
  ASSERT_TRUE(IsOk(login));
  EXPECT_EQ(login.json["_id"].AsInt(), uid);
  std::string second_token = login.json["login_meta"]["token"].AsString();
  EXPECT_NE(second_token, first_token);
  EXPECT_TRUE(IsError(client.Post("/api/auth/login", Signed(email, "email", {{"password", "wrong-one"}})),
                      403, "wrong account or password"));

  // The password is stored only as a salted hash.
  std::ifstream db(Server().data_dir() + "/selvo.db", std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(db)), std::istreambuf_iterator<char>());
  std::ifstream wal(Server().data_dir() + "/selvo.db-wal", std::ios::binary);
  bytes.append((std::istreambuf_iterator<char>(wal)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes.find("pass-word1"), std::string::npos);
  EXPECT_EQ(bytes.find(second_token), std::string::npos);  // tokens too: only digests

  // Logout revokes that token only; a revoked token gets 401 with code 401.
  client.set_token(second_token);
  ASSERT_TRUE(IsOk(client.Post("/api/auth/logout")));
  EXPECT_TRUE(IsError(client.Get("/api/user"), 401));
  EXPECT_TRUE(IsError(client.Post("/api/auth/logout"), 401));
  client.set_token(first_token);
  EXPECT_TRUE(IsOk(client.Get("/api/user")));
  client.set_token("");
  EXPECT_TRUE(IsError(client.Get("/api/user"), 401));
}

TEST(AccountApiTest, MobileSignUpWaitsForActivation) {
  HttpClient client(Server().url());
  const std::string mobile = "13800000001";
  HttpAnswer registered = client.Post(
      "/api/auth/register", Signed(mobile, "mobile", {{"password", "mobile-pw"}, {"screen_name", "Bo"}}));
  ASSERT_TRUE(IsOk(registered));
  EXPECT_FALSE(registered.json["login_meta"].Contains("token"));
  HttpAnswer login = client.Post("/api/auth/login", Signed(mobile, "mobile", {{"password", "mobile-pw"}}));
  ASSERT_TRUE(IsOk(login));
  EXPECT_FALSE(login.json["login_meta"].Contains("token"));
  EXPECT_TRUE(IsOk(client.Post("/api/auth/reactivate", Signed(mobile, "mobile"))));
  EXPECT_TRUE(IsError(client.Post("/api/auth/reactivate", Signed("13899999999", "mobile")), 404));

  // The developer's way: selvo-server activate, beside the running server.
  EXPECT_EQ(RunServerCommand({"activate", "--data", Server().data_dir(), mobile}), 0);
  EXPECT_EQ(RunServerCommand({"activate", "--data", Server().data_dir(), "13899999999"}), 1);
  login = client.Post("/api/auth/login", Signed(mobile, "mobile", {{"password", "mobile-pw"}}));
  ASSERT_TRUE(IsOk(login));
  EXPECT_FALSE(login.json["login_meta"]["token"].AsString().empty());
}

TEST(AccountApiTest, SocialNetworkLoginCreatesOnceAndKeepsAuthorisation) {
  HttpClient client(Server().url());
  Form form = Signed("weibo-42", "weibo",
                     {{"screen_name", "Cy"}, {"avatar_url", "http://img.example/cy.png"},
                      {"access_token", "tok"}, {"expired_time", "1700000000"}});
  HttpAnswer first = client.Post("/api/auth/sns", form);
  ASSERT_TRUE(IsOk(first));
  HttpAnswer second = client.Post("/api/auth/sns", form);
  ASSERT_TRUE(IsOk(second));
  EXPECT_EQ(first.json["_id"].AsInt(), second.json["_id"].AsInt());
  EXPECT_EQ(second.json["login_meta"]["avatar_url"].AsString(), "http://img.example/cy.png");
  const platform::Value& binding = second.json["bindings"][size_t{0}];
  EXPECT_EQ(binding["provider"].AsString(), "weibo");
  EXPECT_EQ(binding["access_token"].AsString(), "tok");
  EXPECT_TRUE(IsOk(client.Post("/api/auth/resetpw", Signed("nobody@example.com", "email"))));
}

TEST(AccountApiTest, RefusesMalformedRequestsAndStoresNothing) {
  HttpClient client(Server().url());
  int64_t users = CountRows("users");
  int64_t identities = CountRows("identities");
  struct Case {
    const char* path;
    Form form;
    long status;
    const char* msg;
  };
  const std::string e = "zed@example.com";
  const Case cases[] = {
      {"/api/auth/register", {{"provider", "email"}, {"identity", e}, {"password", "secret12"}, {"screen_name", "Z"}}, 400, "\"signature\" is missing"},
      {"/api/auth/register", Signed(e, "email", {{"password", "secret12"}}), 400, "screen_name"},
      {"/api/auth/register", Signed(e, "email", {{"password", "short"}, {"screen_name", "Z"}}), 400, "at least 6"},
      {"/api/auth/register", Signed("not-an-address", "email", {{"password", "secret12"}, {"screen_name", "Z"}}), 400, "not an e-mail"},
      {"/api/auth/register", Signed(e, "fax", {{"password", "secret12"}, {"screen_name", "Z"}}), 400, "\"provider\" must be one of"},
      {"/api/auth/register", Form{{"provider", "email"}, {"signature", "0123"}, {"identity", e}, {"password", "secret12"}, {"screen_name", "Z"}}, 403, "signature"},
      {"/api/auth/register", Signed(e, "email", {{"password", "secret12"}, {"screen_name", std::string(65, 'z')}}), 400, "longer than 64"},
      {"/api/auth/login", Signed(e, "email"), 400, "\"password\" is missing"},
      {"/api/auth/sns", Signed("w1", "weibo"), 400, "screen_name"},
      {"/api/auth/nothing", {}, 404, "no endpoint"},
  };
  for (const Case& c : cases) EXPECT_TRUE(IsError(client.Post(c.path, c.form), c.status, c.msg)) << c.path;
  EXPECT_TRUE(IsError(client.Get("/api/auth/login"), 405));
  EXPECT_EQ(CountRows("users"), users);
  EXPECT_EQ(CountRows("identities"), identities);
}

}  // namespace
}  // namespace server_api_test
