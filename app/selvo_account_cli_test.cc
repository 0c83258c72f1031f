// A new user meets the service through the selvo command: register, sign
// out, sign in, ask who is signed in, publish, over plain HTTP and over TLS.
#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "platform/json.h"
#include "platform/testing/fake_environment.h"
#include "platform/testing/subprocess.h"
#include "server/testing/server_fixture.h"

namespace app {
namespace {

struct Outcome {
  int status;
  std::string out, err;
};

class SelvoAccountCliTest : public ::testing::Test {
 protected:
  ~SelvoAccountCliTest() override { platform::RemoveTree(data_); }

  Outcome Selvo(std::vector<std::string> args, const server_testing::ServerProcess& server,
                bool with_ca = true) {
    std::vector<std::string> argv{platform::BinaryPath("selvo"), "--data-dir", data_, "--server",
                                  server.url()};
    if (with_ca && !server.ca_file().empty()) {
      argv.push_back("--ca-file");
      argv.push_back(server.ca_file());
    }
    argv.insert(argv.end(), args.begin(), args.end());
    Outcome r;
    r.status = platform::RunProgram(argv, &r.out, &r.err);
    return r;
  }
  std::string StoredToken() {
    auto text = platform::DefaultFileSystem().ReadFile(data_ + "/preferences.json");
    if (!text) return "";
    return (*platform::ParseJson(*text))["CurrentLoginUserData"]["login_meta"]["token"].AsString();
  }

  std::string data_ = platform::MakeTempDirectory("selvo-account-cli");
};

TEST_F(SelvoAccountCliTest, ANewUserRegistersSignsOutAndBackInAndPublishes) {
  server_testing::ServerProcess server;
  Outcome r = Selvo({"whoami"}, server);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "selvo: not signed in\n");

  r = Selvo({"register", "--email", "mei@example.com", "--password", "secret1", "--name", "Mei"},
            server);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("signed in as Mei"), std::string::npos) << r.out;
  const std::string token = StoredToken();
  ASSERT_FALSE(token.empty());

  r = Selvo({"whoami"}, server);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("screen name: Mei"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("signed in with: email mei@example.com"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find(token), std::string::npos);

  r = Selvo({"publish", "--title", "Evening walk", "--channel", "travel"}, server);
  ASSERT_EQ(r.status, 0) << r.err;
  auto answer = platform::ParseJson(r.out);
  ASSERT_TRUE(answer) << r.out;
  EXPECT_EQ(r.out.find('\n'), r.out.size() - 1);  // one line
  EXPECT_EQ((*answer)["publish_url"].AsString().rfind("http", 0), 0u);
  EXPECT_FALSE((*answer)["_id"].is_null());

  r = Selvo({"register", "--email", "mei@example.com", "--password", "secret1", "--name", "Mei"},
            server);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("selvo: registration failed: ", 0), 0u) << r.err;
  EXPECT_NE(r.err.find("already"), std::string::npos) << r.err;  // the service's "msg"

  r = Selvo({"logout"}, server);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "signed out\n");
  EXPECT_EQ(Selvo({"whoami"}, server).status, 1);
  r = Selvo({"publish"}, server);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "selvo: not signed in\n");

  r = Selvo({"login", "--email", "mei@example.com", "--password", "wrong-pw"}, server);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("selvo: login failed: ", 0), 0u) << r.err;
  r = Selvo({"login", "--email", "mei@example.com", "--password", "secret1"}, server);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(StoredToken(), token);
  EXPECT_EQ(Selvo({"whoami"}, server).status, 0);

  // With the server gone, the failure names the server.
  server.Stop();
  r = Selvo({"publish"}, server);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("no usable answer from " + server.url()), std::string::npos) << r.err;
}

TEST_F(SelvoAccountCliTest, TlsNeedsTheServersAuthority) {
  server_testing::ServerOptions options;
  options.tls = true;
  server_testing::ServerProcess server(options);
  Outcome r =
      Selvo({"register", "--mobile", "13912345678", "--password", "secret1", "--name", "Tao"},
            server, /*with_ca=*/false);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("no usable answer"), std::string::npos) << r.err;
  r = Selvo({"register", "--mobile", "13912345678", "--password", "secret1", "--name", "Tao"},
            server);
  ASSERT_EQ(r.status, 0) << r.err;
  r = Selvo({"whoami"}, server);
  EXPECT_NE(r.out.find("signed in with: mobile 13912345678"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace app
