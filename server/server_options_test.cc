#include "server/server_options.h"

#include <gtest/gtest.h>

namespace server {
namespace {

TEST(ServerOptionsTest, ParsesServeOptions) {
  ServerCommand command;
  std::string error;
  ASSERT_TRUE(ParseServerCommand({"--listen", "[::1]:0", "--data", "/tmp/d", "--tls-cert", "c",
                                  "--tls-key", "k", "--list-size", "20", "--contacts-limit", "9",
                                  "--max-piece-bytes", "1000", "--activate-mobile-signups"},
                                 command, error))
      << error;
  EXPECT_EQ(command.action, ServerCommand::Action::kServe);
  EXPECT_EQ(command.frontend.host, "::1");
  EXPECT_EQ(command.frontend.port, 0);
  EXPECT_EQ(command.backend.data_dir, "/tmp/d");
  EXPECT_EQ(command.backend.settings.avatar_dir, "/tmp/d/media/avatars");
  EXPECT_EQ(command.backend.settings.list_size, 20);
  EXPECT_EQ(command.backend.settings.contacts_limit, 9);
  EXPECT_EQ(command.backend.limits.max_piece_bytes, 1000u);
  EXPECT_TRUE(command.backend.settings.activate_mobile_signups);
}

TEST(ServerOptionsTest, ActivateAndMisuse) {
  ServerCommand command;
  std::string error;
  ASSERT_TRUE(ParseServerCommand({"activate", "--data", "/d", "13800000000"}, command, error));
  EXPECT_EQ(command.action, ServerCommand::Action::kActivate);
  EXPECT_EQ(command.identity, "13800000000");
  EXPECT_EQ(command.provider, "mobile");

  struct Case {
    std::vector<std::string> args;
    const char* error;
  };
  const Case cases[] = {
      {{"--listen", "8080"}, "ADDR:PORT"},
      {{"--listen", "127.0.0.1:70000"}, "ADDR:PORT"},
      {{"--tls-cert", "c"}, "go together"},
      {{"--list-size", "0"}, "from 1 to 1000"},
      {{"--data"}, "needs a value"},
      {{"--frobnicate"}, "unknown option"},
      {{"activate"}, "IDENTITY"},
  };
  for (const Case& c : cases) {
    ServerCommand ignored;
    std::string message;
    EXPECT_FALSE(ParseServerCommand(c.args, ignored, message));
    EXPECT_NE(message.find(c.error), std::string::npos) << message;
  }
}

}  // namespace
}  // namespace server
