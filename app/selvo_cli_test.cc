// The selvo executable as a user meets it: help, version, misuse, and a
// running application that ends its life cleanly on a signal.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>

#include "platform/testing/fake_environment.h"
#include "platform/testing/subprocess.h"

namespace app {
namespace {

using std::chrono::seconds;

std::string Selvo() { return platform::BinaryPath("selvo"); }

TEST(SelvoCliTest, HelpAndVersion) {
  std::string out, err;
  EXPECT_EQ(platform::RunProgram({Selvo(), "--help"}, &out, &err), 0);
  EXPECT_NE(out.find("usage: selvo"), std::string::npos);
  EXPECT_NE(out.find("run"), std::string::npos);
  EXPECT_EQ(platform::RunProgram({Selvo(), "--version"}, &out, &err), 0);
  EXPECT_EQ(out.rfind("selvo ", 0), 0u);
}

TEST(SelvoCliTest, MisuseExitsTwoWithOneLine) {
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const Case cases[] = {
      {{}, ""},
      {{"frobnicate"}, "unknown command 'frobnicate'"},
      {{"--bogus"}, "unknown option --bogus"},
      {{"run", "--data-dir"}, "option --data-dir needs a value"},
      {{"run", "--nope"}, "unknown option --nope"},
      {{"run", "extra"}, "run takes no arguments"},
      {{"login", "--password", "secret1"}, "give either --email or --mobile"},
      {{"login", "--email", "a@b.cn", "--mobile", "13800138000", "--password", "secret1"},
       "give either --email or --mobile"},
      {{"login", "--email", "not-an-address", "--password", "secret1"},
       "'not-an-address' is not a valid e-mail address"},
      {{"login", "--mobile", "23800138000", "--password", "secret1"},
       "'23800138000' is not a valid mobile number (11 digits beginning with 1)"},
      {{"login", "--email", "a@b.cn"}, "login needs --password"},
      {{"register", "--email", "a@b.cn", "--password", "short", "--name", "A"},
       "the password must have 6 to 24 characters"},
      {{"register", "--email", "a@b.cn", "--password", "secret1"}, "register needs --name"},
      {{"register", "--email", "a@b.cn", "--password", "secret1", "--name", "Elevenchars"},
       "the name must have 1 to 10 characters"},
      {{"publish", "--private", " , "}, "--private needs at least one receiver"},
      {{"whoami", "me"}, "whoami takes no arguments"},
      {{"broadcast", "now"}, "broadcast takes no positional arguments"},
      {{"broadcast", "--duration", "0"},
       "--duration must be a whole number of seconds from 1 to 86400"},
      {{"broadcast", "--duration", "15s"},
       "--duration must be a whole number of seconds from 1 to 86400"},
      {{"broadcast", "--private", " , "}, "--private needs at least one receiver"},
      {{"broadcast", "--source", ""}, "--source needs test, camera or a file"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> argv{Selvo()};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    std::string out, err;
    EXPECT_EQ(platform::RunProgram(argv, &out, &err), 2) << c.message;
    if (*c.message) {
      EXPECT_EQ(err, "selvo: " + std::string(c.message) + " (see 'selvo --help')\n");
    }
  }
}

TEST(SelvoCliTest, SignedOutCommandsSayNotSignedIn) {
  std::string data = platform::MakeTempDirectory("selvo-cli");
  for (const char* command : {"whoami", "logout", "publish", "broadcast"}) {
    std::string out, err;
    EXPECT_EQ(platform::RunProgram({Selvo(), "--data-dir", data, command}, &out, &err), 1);
    EXPECT_EQ(err, "selvo: not signed in\n") << command;
    EXPECT_EQ(out, "");
  }
  std::string out, err;
  EXPECT_EQ(
      platform::RunProgram({Selvo(), "--data-dir", data, "--ca-file", data + "/none.pem", "whoami"},
                           &out, &err),
      1);
  EXPECT_EQ(err, "selvo: cannot read the CA file " + data + "/none.pem\n");
  platform::RemoveTree(data);
}

TEST(SelvoCliTest, BroadcastingWithoutACameraSaysSoInOneLine) {
  const auto devices = std::filesystem::directory_iterator("/dev");
  if (std::any_of(begin(devices), end(devices), [](const auto& entry) {
        return entry.path().filename().string().rfind("video", 0) == 0;
      })) {
    GTEST_SKIP() << "this machine has a video device";
  }
  std::string data = platform::MakeTempDirectory("selvo-cli");
  std::string out, err;
  EXPECT_EQ(platform::RunProgram({Selvo(), "--data-dir", data, "broadcast", "--source", "camera"},
                                 &out, &err),
            1);
  EXPECT_EQ(err,
            "selvo: no camera found: this machine has no V4L2 video capture device (/dev/video*); "
            "use --source test\n");
  EXPECT_EQ(out, "");
  platform::RemoveTree(data);
}

TEST(SelvoCliTest, SigtermRunsTheTerminationSequenceToTheEnd) {
  std::string data = platform::MakeTempDirectory("selvo-cli");
  platform::Subprocess selvo({Selvo(), "--data-dir", data, "--verbose", "run"});
  // Wait until the application is up before signalling it.
  std::string err;
  for (int i = 0; i < 200 && selvo.err().find("lifecycle: active") == std::string::npos; ++i) {
    selvo.ReadLine(std::chrono::milliseconds(50));
  }
  ASSERT_NE(selvo.err().find("lifecycle: active"), std::string::npos) << selvo.err();
  selvo.Signal(SIGUSR1);
  selvo.Signal(SIGTERM);
  auto status = selvo.Wait(seconds(30));
  ASSERT_TRUE(status);
  EXPECT_EQ(*status, 128 + SIGTERM) << selvo.err();
  const std::string& log = selvo.err();
  size_t terminating = log.find("lifecycle: terminating");
  size_t stopped = log.find("lifecycle: streaming tasks stopped");
  size_t engine = log.find("lifecycle: streaming engine terminated");
  size_t done = log.find("lifecycle: terminated");
  ASSERT_NE(done, std::string::npos) << log;
  EXPECT_LT(terminating, stopped);
  EXPECT_LT(stopped, engine);
  EXPECT_LT(engine, done);
  platform::RemoveTree(data);
}

}  // namespace
}  // namespace app
