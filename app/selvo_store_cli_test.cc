// Two new users meet timelines and contacts through the selvo command, with
// data made by the other commands (register, publish), against a fresh
// selvo-server whose pages hold three videos.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "platform/file_system.h"
#include "platform/json.h"
#include "platform/testing/fake_environment.h"
#include "platform/testing/subprocess.h"
#include "server/testing/http_client.h"
#include "server/testing/server_fixture.h"
#include "server/ts_test_pieces.h"

namespace app {
namespace {

struct Outcome {
  int status;
  std::string out, err;
};

// The ids of the videos listed in `text`, in order: the first word of every
// line that begins with two spaces and a digit.
std::vector<std::string> ListedIds(const std::string& text) {
  std::vector<std::string> ids;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    if (line.size() > 2 && line[0] == ' ' && line[1] == ' ' && std::isdigit(line[2])) {
      ids.push_back(line.substr(2, line.find(' ', 2) - 2));
    }
    start = end + 1;
  }
  return ids;
}

// The part of `text` from the line that begins with `heading` on.
std::string Section(const std::string& text, const std::string& heading) {
  const size_t at = text.find("\n" + heading);
  if (text.rfind(heading, 0) == 0) return text;
  return at == std::string::npos ? "" : text.substr(at + 1);
}

class SelvoStoreCliTest : public ::testing::Test {
 protected:
  SelvoStoreCliTest() : server_(Options()) {}
  ~SelvoStoreCliTest() override {
    platform::RemoveTree(mei_);
    platform::RemoveTree(tao_);
  }
  static server_testing::ServerOptions Options() {
    server_testing::ServerOptions options;
    options.extra_args = {"--list-size", "3"};
    return options;
  }

  Outcome Selvo(const std::string& data, std::vector<std::string> args) {
    std::vector<std::string> argv{platform::BinaryPath("selvo"), "--data-dir", data, "--server",
                                  server_.url()};
    argv.insert(argv.end(), args.begin(), args.end());
    Outcome r;
    r.status = platform::RunProgram(argv, &r.out, &r.err);
    return r;
  }
  // Registers, and takes the service's page size into the preferences as
  // the main screen does.
  std::string Register(const std::string& data, const std::string& email, const std::string& name) {
    Outcome r =
        Selvo(data, {"register", "--email", email, "--password", "secret1", "--name", name});
    EXPECT_EQ(r.status, 0) << r.err;
    auto& fs = platform::DefaultFileSystem();
    platform::Value preferences = *platform::ParseJson(*fs.ReadFile(data + "/preferences.json"));
    preferences.Set("TimelineListCount", 3);
    EXPECT_TRUE(fs.WriteFileAtomically(data + "/preferences.json", platform::ToJson(preferences)));
    return preferences["CurrentLoginUserData"]["_id"].AsString();
  }
  platform::Value Publish(const std::string& data, const std::string& title,
                          const std::string& channel) {
    Outcome r = Selvo(data, {"publish", "--title", title, "--channel", channel});
    EXPECT_EQ(r.status, 0) << r.err;
    return platform::ParseJson(r.out).value_or(platform::Value());
  }
  // Broadcasts `seconds` one-second pieces to the video and closes it, as
  // the recorder's uploads do.
  void Broadcast(const std::string& data, const platform::Value& video, int seconds) {
    auto& fs = platform::DefaultFileSystem();
    platform::Value preferences = *platform::ParseJson(*fs.ReadFile(data + "/preferences.json"));
    const std::string token =
        "Access-Token: " + preferences["CurrentLoginUserData"]["login_meta"]["token"].AsString();
    const std::string ingest = video["publish_url"].AsString();
    server_testing::HttpClient client(server_.url());
    ASSERT_EQ(client.Send("PUT", ingest + "?cmd=0", "", {token}).status, 200);
    for (int sec = 1; sec <= seconds; ++sec) {
      const std::string piece = server::testing::Piece(sec == 1, (sec - 1) * int64_t{90000});
      auto answer =
          client.Send("PUT", ingest + "?cmd=2&seg=1&sec=" + std::to_string(sec), piece, {token});
      ASSERT_EQ(answer.status, 200) << answer.body;
    }
    ASSERT_EQ(client.Send("PUT", ingest + "?cmd=1", "", {token}).status, 200);
  }

  server_testing::ServerProcess server_;
  std::string mei_ = platform::MakeTempDirectory("selvo-store-cli-mei");
  std::string tao_ = platform::MakeTempDirectory("selvo-store-cli-tao");
};

TEST_F(SelvoStoreCliTest, MisuseAndSignedOut) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err;  // the start of the one line on stderr
  };
  const Case cases[] = {
      {{"timeline"}, 2, "selvo: timeline needs one of: mine, friends, square"},
      {{"timeline", "others"}, 2, "selvo: unknown timeline 'others'"},
      {{"timeline", "mine", "--sort", "hot"}, 2, "selvo: --channel and --sort apply to the square"},
      {{"timeline", "square", "--sort", "up"}, 2, "selvo: --sort takes hot or new"},
      {{"timeline", "square", "--sort", "hot", "--older"}, 2, "selvo: the hot square has no older"},
      {{"timeline", "square", "--since", "1"}, 2, "selvo: unknown option --since"},
      {{"contacts", "frob"}, 2, "selvo: unknown contacts action 'frob'"},
      {{"contacts", "add"}, 2, "selvo: contacts add takes one argument"},
      {{"contacts", "add", "Tao"}, 2, "selvo: contacts add takes a user id or a guest"},
      {{"contacts", "add", "fax#123"}, 2, "selvo: contacts add takes a user id or a guest"},
      {{"contacts", "block", "weibo#1"}, 2, "selvo: contacts block takes a user id"},
      {{"contacts", "list", "all"}, 2, "selvo: contacts list takes no arguments"},
      {{"contacts", "search", "  "}, 2, "selvo: contacts search needs some text"},
      {{"timeline", "mine"}, 1, "selvo: not signed in\n"},
      {{"timeline", "friends", "--older"}, 1, "selvo: not signed in\n"},
      {{"contacts"}, 1, "selvo: not signed in\n"},
      {{"contacts", "add", "12"}, 1, "selvo: not signed in\n"},
  };
  for (const Case& c : cases) {
    Outcome r = Selvo(mei_, c.args);
    SCOPED_TRACE(c.args[0] + " " + (c.args.size() > 1 ? c.args[1] : ""));
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.err.rfind(c.err, 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
  // The square is public: signed out, it is simply empty on a new server.
  Outcome r = Selvo(mei_, {"timeline", "square"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "square: 0 videos\n");
}

TEST_F(SelvoStoreCliTest, TimelinesAndContactsOfTwoNewUsers) {
  const std::string mei = Register(mei_, "mei@store.test", "Mei");
  const std::string tao = Register(tao_, "tao@store.test", "王涛");
  Publish(tao_, "Walk 1", "travel");
  Publish(tao_, "Walk 2", "travel");
  const platform::Value song = Publish(tao_, "Song", "music");
  Publish(tao_, "Walk 3", "travel");
  Publish(tao_, "Walk 4", "travel");
  Broadcast(tao_, song, 4);

  // Tao's own room: one page of three, newest first; then the older page;
  // the next time the cache shows all five at once.
  Outcome r = Selvo(tao_, {"timeline", "mine"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind("my videos: 3 videos\n", 0), 0u) << r.out;
  EXPECT_EQ(ListedIds(r.out), (std::vector<std::string>{"5", "4", "3"}));
  EXPECT_NE(r.out.find("\"Walk 4\" by 王涛 #travel\n"), std::string::npos) << r.out;
  // Durations come from the playlists: four seconds of song, empty walks.
  EXPECT_NE(r.out.find("  00:04  \"Song\" by 王涛 #music\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  00:00  \"Walk 4\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("      0 watched  0 liked  0 comments\n"), std::string::npos) << r.out;
  r = Selvo(tao_, {"timeline", "mine", "--older"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind("my videos, from the cache: 3 videos\n", 0), 0u) << r.out;
  EXPECT_NE(Section(r.out, "my videos, from the cache").find("  --:--  \"Walk 4\""),
            std::string::npos)
      << r.out;  // shown before any playlist was measured
  EXPECT_EQ(ListedIds(Section(r.out, "my videos, with older videos")),
            (std::vector<std::string>{"5", "4", "3", "2", "1"}));
  r = Selvo(tao_, {"timeline", "mine"});
  EXPECT_EQ(r.out.rfind("my videos, from the cache: 5 videos\n", 0), 0u) << r.out;

  // The square, by channel and by order.
  r = Selvo(mei_, {"timeline", "square", "--channel", "music"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ListedIds(r.out), std::vector<std::string>{"3"});
  r = Selvo(mei_, {"timeline", "square", "--channel", "travel", "--older"});
  EXPECT_EQ(ListedIds(Section(r.out, "square #travel, with older videos")),
            (std::vector<std::string>{"5", "4", "2", "1"}));
  r = Selvo(mei_, {"timeline", "square", "--sort", "hot"});
  EXPECT_EQ(ListedIds(r.out).size(), 3u);

  // Mei finds Tao and adds him; his videos reach her friends' room.
  r = Selvo(mei_, {"timeline", "friends"});
  EXPECT_EQ(r.out, "friends' videos: 0 videos\n");
  r = Selvo(mei_, {"contacts", "search", "王"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "  " + tao + "  王涛\n");
  r = Selvo(mei_, {"contacts", "add", tao});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "added " + tao + " 王涛 to your friends\n");
  r = Selvo(mei_, {"contacts"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "stored: 1 friend, 0 guests, 0 blocked\n  friend  " + tao +
                       "  王涛\n"
                       "refreshed: 1 friend, 0 guests, 0 blocked\n  friend  " +
                       tao + "  王涛\n");
  r = Selvo(mei_, {"timeline", "friends"});
  EXPECT_EQ(ListedIds(r.out), (std::vector<std::string>{"5", "4", "3"}));

  // Three new videos fill a whole page: the friends' room starts again from
  // them (the older ones are not known to follow without a gap).
  Publish(tao_, "Walk 5", "travel");
  Publish(tao_, "Walk 6", "travel");
  Publish(tao_, "Walk 7", "travel");
  r = Selvo(mei_, {"timeline", "friends"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ListedIds(Section(r.out, "friends' videos, from the cache")),
            (std::vector<std::string>{"5", "4", "3", "8", "7", "6"}));
  EXPECT_EQ(ListedIds(Section(r.out, "friends' videos:")),
            (std::vector<std::string>{"8", "7", "6"}));
  r = Selvo(mei_, {"timeline", "friends", "--older"});
  EXPECT_EQ(ListedIds(Section(r.out, "friends' videos, with older videos")),
            (std::vector<std::string>{"8", "7", "6", "5", "4", "3"}));

  // Guests, blocking, the service's refusals.
  r = Selvo(mei_, {"contacts", "add", "mobile#13800000001#Grandma"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "added guest mobile#13800000001\n");
  r = Selvo(mei_, {"contacts", "block", tao});
  ASSERT_EQ(r.status, 0) << r.err;
  r = Selvo(mei_, {"contacts", "list"});
  EXPECT_NE(r.out.find("refreshed: 0 friends, 1 guest, 1 blocked\n"
                       "  guest   mobile#13800000001  Grandma\n"
                       "  blocked " +
                       tao + "  王涛\n"),
            std::string::npos)
      << r.out;
  r = Selvo(mei_, {"contacts", "search", tao});
  EXPECT_EQ(r.out, "  " + tao + "  王涛  (blocked)\n");
  // Adding him again unblocks him, here and on the service.
  r = Selvo(mei_, {"contacts", "add", tao});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Selvo(mei_, {"contacts", "remove", "mobile#13800000001"}).status, 0);
  r = Selvo(mei_, {"contacts", "add", "999"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "selvo: adding 999 failed: no user 999\n");
  r = Selvo(mei_, {"contacts", "block", mei});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "selvo: blocking " + mei + " failed: you cannot blacklist yourself\n");
  r = Selvo(mei_, {"contacts"});
  EXPECT_NE(r.out.find("refreshed: 1 friend, 0 guests, 0 blocked\n  friend  " + tao + "  王涛\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(Selvo(mei_, {"contacts", "block", tao}).status, 0);
  r = Selvo(mei_, {"contacts", "unblock", tao});
  EXPECT_EQ(r.out, "unblocked " + tao + "\n");

  // With the service gone, the cache still shows; the failure names the server.
  server_.Stop();
  r = Selvo(tao_, {"timeline", "mine"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(ListedIds(r.out), (std::vector<std::string>{"5", "4", "3", "2", "1"}));
  EXPECT_EQ(r.err, "selvo: timeline failed: no usable answer from " + server_.url() + "\n");
}

}  // namespace
}  // namespace app
