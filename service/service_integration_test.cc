// The four clients against the real selvo-server on loopback: every endpoint,
// its answer and its refusals, the invalid-token alert, and TLS verification.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>

#include "platform/alert.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/image_codec.h"
#include "platform/linux/curl_http_client.h"
#include "platform/linux/linux_dispatcher.h"
#include "platform/notification_center.h"
#include "server/testing/server_fixture.h"
#include "service/account_api_client.h"
#include "service/api_error_report.h"
#include "service/message_api_client.h"
#include "service/testing/fake_client_environment.h"
#include "service/timeline_api_client.h"
#include "service/video_api_client.h"

namespace service {
namespace {

using platform::Value;
using A = AccountAPIClient;
using V = VideoAPIClient;
using T = TimelineAPIClient;
using M = MessageAPIClient;

// What one request gave: success with its JSON, or failure with the error JSON.
struct Answer {
  bool ok = false;
  Value json;
  int code() const { return static_cast<int>(json["code"].AsInt()); }
  std::string msg() const { return json["msg"].AsString(); }
};

class ServiceIntegrationTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new server_testing::ServerProcess(); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  ServiceIntegrationTest() {
    platform::SetDefaultDispatcher(&dispatcher_);
    platform::SetDefaultHttpClientFactory(&http_);
    platform::SetDefaultAlertPresenter(&alerts_);
    env_ = std::make_unique<FakeClientEnvironment>();
    env_->installation_id = platform::MakeRandomUuid();
    ServiceHTTPClient::SetServiceBaseUrl(server_->url());
  }
  ~ServiceIntegrationTest() override {
    env_.reset();
    platform::SetDefaultAlertPresenter(nullptr);
    platform::SetDefaultHttpClientFactory(nullptr);
    platform::SetDefaultDispatcher(nullptr);
  }

  // Runs `request` with callbacks that record the answer, and waits for it.
  Answer Call(
      const std::function<void(ServiceHTTPClient::Success, ServiceHTTPClient::Failure)>& request) {
    auto answer = std::make_shared<Answer>();
    auto done = std::make_shared<bool>(false);
    request(
        [answer, done](const Value& json) {
          answer->ok = true;
          answer->json = json;
          *done = true;
        },
        [answer, done](const Value& json) {
          answer->json = json;
          *done = true;
        });
    EXPECT_TRUE(dispatcher_.RunMainLoopUntil([done] { return *done; }, std::chrono::seconds(20)));
    return *answer;
  }

  // Registers a fresh e-mail user and leaves its token on the clients.
  std::string Register(const std::string& name) {
    const std::string email = name + "." + std::to_string(++users_) + "." +
                              env_->installation_id.substr(0, 8) + "@example.com";
    Answer a = Call([&](auto ok, auto) {
      A::EmailMobileRegister(
          "email", A::GetSignature(email, "email"), email, "secret1", name,
          [ok](const Value& r, const std::optional<std::string>&) { ok(r); }, nullptr);
    });
    EXPECT_TRUE(a.ok) << name;
    email_ = email;
    return a.json["_id"].AsString();
  }

  static server_testing::ServerProcess* server_;
  static int users_;
  platform::LinuxDispatcher dispatcher_{2};
  platform::CurlHttpClientFactory http_{platform::CurlSettings{}};
  platform::HeadlessAlertPresenter alerts_;
  std::unique_ptr<FakeClientEnvironment> env_;
  std::string email_;
};

server_testing::ServerProcess* ServiceIntegrationTest::server_ = nullptr;
int ServiceIntegrationTest::users_ = 0;

TEST_F(ServiceIntegrationTest, AccountSessionAndProfile) {
  const std::string uid = Register("Ann");
  EXPECT_TRUE(MessageAPIClient::AuthorizationHeaderWithToken().value_or("").size() > 0);
  const std::string email = email_;

  // Registering again, a wrong password, a bad signature: the service's messages.
  Answer again = Call([&](auto, auto fail) {
    A::EmailMobileRegister("email", A::GetSignature(email, "email"), email, "secret1", "Ann",
                           nullptr, fail);
  });
  EXPECT_FALSE(again.ok);
  EXPECT_EQ(again.code(), 409);
  EXPECT_FALSE(again.msg().empty());
  Answer wrong = Call([&](auto, auto fail) {
    A::EmailMobileLogin("email", A::GetSignature(email, "email"), email, "wrong-pw", nullptr, fail);
  });
  EXPECT_EQ(wrong.code(), 403);
  Answer forged = Call([&](auto, auto fail) {
    A::EmailMobileLogin("email", "0123456789abcdef0123456789abcdef", email, "secret1", nullptr,
                        fail);
  });
  EXPECT_FALSE(forged.ok);
  EXPECT_GE(forged.code(), 400);

  std::optional<std::string> token;
  Answer login = Call([&](auto ok, auto fail) {
    A::EmailMobileLogin(
        "email", A::GetSignature(email, "email"), email, "secret1",
        [ok, &token](const Value& r, const std::optional<std::string>& t) {
          token = t;
          ok(r);
        },
        fail);
  });
  ASSERT_TRUE(login.ok);
  EXPECT_EQ(login.json["_id"].AsString(), uid);
  ASSERT_TRUE(token);
  EXPECT_EQ(V::AuthorizationHeaderWithToken(), token);
  EXPECT_EQ(login.json["login_meta"]["login_provider"].AsString(), "email");

  Value profile;
  profile.Set("screen_name", "Annie").Set("gender", "F").Set("introduction", "a b&c = d");
  EXPECT_TRUE(Call([&](auto ok, auto fail) { A::UpdateProfile(profile, ok, fail); }).ok);
  Answer user = Call([&](auto ok, auto fail) { A::GetUser(uid, ok, fail); });
  ASSERT_TRUE(user.ok);
  EXPECT_EQ(user.json["login_meta"]["screen_name"].AsString(), "Annie");
  EXPECT_EQ(user.json["profile"]["introduction"].AsString(), "a b&c = d");
  EXPECT_FALSE(Call([&](auto ok, auto fail) { A::GetUser("999999", ok, fail); }).ok);

  const std::string dir = server_testing::MakeTempDir("avatar");
  auto jpeg =
      platform::DefaultImageCodec().EncodeJpeg(platform::Image::Filled(64, 64, 0, 90, 200), 0.9);
  ASSERT_TRUE(jpeg);
  ASSERT_TRUE(platform::DefaultFileSystem().WriteFileAtomically(dir + "/me.jpg", *jpeg));
  Answer avatar = Call([&](auto ok, auto fail) { A::UploadAvatar(dir + "/me.jpg", ok, fail); });
  EXPECT_TRUE(avatar.ok) << avatar.msg();
  EXPECT_FALSE(avatar.json["url"].AsString().empty());
  Answer not_image =
      Call([&](auto ok, auto fail) { A::UploadAvatar(dir + "/none.jpg", ok, fail); });
  EXPECT_FALSE(not_image.ok);
  EXPECT_TRUE(not_image.json.is_null());
  server_testing::RemoveTree(dir);

  Answer limit = Call([&](auto ok, auto fail) { A::GetContactsMaxCount(ok, fail); });
  EXPECT_GT(limit.json["contacts_limit"].AsInt(), 0);

  // Bindings: a mobile number, refreshed; a second bind of it is refused.
  const std::string mobile = "139" + std::to_string(10000000 + std::stoi(uid) % 89999999);
  A::Binding b{mobile, A::GetSignature(mobile, "mobile"), "mobile", "Ann", "secret2", {}};
  Answer bound = Call([&](auto ok, auto fail) { A::BindIdentity(b, ok, fail); });
  EXPECT_TRUE(bound.ok) << bound.msg();
  Answer refreshed = Call([&](auto ok, auto fail) { A::RefreshIdentity(b, ok, fail); });
  EXPECT_TRUE(refreshed.ok) << refreshed.msg();
  b.signature = "bad";
  EXPECT_FALSE(Call([&](auto ok, auto fail) { A::BindIdentity(b, ok, fail); }).ok);

  Answer reset = Call([&](auto ok, auto fail) {
    A::ResetEmailMobile(email, A::GetSignature(email, "email"), "email", ok, fail);
  });
  EXPECT_TRUE(reset.ok);
  Answer reactivate = Call([&](auto ok, auto fail) {
    A::ReActivate("mobile", A::GetSignature("13000000001", "mobile"), "13000000001", ok, fail);
  });
  EXPECT_FALSE(reactivate.ok);  // nobody registered that number
  EXPECT_FALSE(reactivate.msg().empty());

  // Logout: the token is gone here; the old one is refused there, with one alert.
  const std::string old_token = *token;
  EXPECT_TRUE(Call([&](auto ok, auto fail) { A::Logout(ok, fail); }).ok);
  EXPECT_EQ(M::AuthorizationHeaderWithToken(), "");
  SetAccessTokenOnAllClients(old_token);
  int logouts = 0;
  auto sub = platform::NotificationCenter::Default().AddObserver(
      kInvalidAccessTokenNotification, [&](const platform::Notification&) { ++logouts; });
  Answer dead = Call([&](auto ok, auto fail) { A::GetContacts(ok, fail); });
  EXPECT_EQ(dead.code(), 401);
  Call([&](auto ok, auto fail) { M::GetMessageSetting(ok, fail); });
  ASSERT_EQ(alerts_.visible().size(), 1u);
  alerts_.Press(0, 0);
  EXPECT_EQ(logouts, 1);
  // A logout with the dead token still signs out here.
  EXPECT_FALSE(Call([&](auto ok, auto fail) { A::Logout(ok, fail); }).ok);
  EXPECT_EQ(A::SharedClient().AccessTokenHeader(), "");
}

TEST_F(ServiceIntegrationTest, ContactsBlacklistSearchAndInvitations) {
  const std::string bob = Register("Bob");
  const std::string bob_email = email_;
  const std::string cat = Register("Cat");

  Answer added = Call([&](auto ok, auto fail) {
    A::AddContacts(std::vector<std::string>{bob},
                   std::vector<std::string>{"mobile#13800138000#Wang#None"}, ok, fail);
  });
  ASSERT_TRUE(added.ok) << added.msg();
  EXPECT_EQ(added.json["friend_list"].size(), 1u);
  EXPECT_EQ(added.json["guest_list"].size(), 1u);
  Answer listed = Call([&](auto ok, auto fail) { A::GetContacts(ok, fail); });
  EXPECT_EQ(listed.json["friend_list"][size_t{0}]["_id"].AsString(), bob);
  Answer removed = Call([&](auto ok, auto fail) {
    A::RemoveContacts(std::nullopt, std::vector<std::string>{"mobile#13800138000"}, ok, fail);
  });
  EXPECT_EQ(removed.json["guest_list"].size(), 0u);
  EXPECT_FALSE(Call([&](auto ok, auto fail) {
                 A::AddContacts(std::vector<std::string>{"not-a-user"}, std::nullopt, ok, fail);
               }).ok);

  EXPECT_TRUE(Call([&](auto ok, auto fail) { A::AddUserToBlackList(bob, ok, fail); }).ok);
  Answer black = Call([&](auto ok, auto fail) { A::GetBlackList(ok, fail); });
  ASSERT_EQ(black.json.size(), 1u);
  EXPECT_EQ(black.json[size_t{0}]["_id"].AsString(), bob);
  EXPECT_TRUE(Call([&](auto ok, auto fail) { A::RemoveUserFromBlackList(bob, ok, fail); }).ok);
  EXPECT_EQ(Call([&](auto ok, auto fail) { A::GetBlackList(ok, fail); }).json.size(), 0u);
  EXPECT_FALSE(Call([&](auto ok, auto fail) { A::AddUserToBlackList(std::nullopt, ok, fail); }).ok);

  Answer by_name = Call([&](auto ok, auto fail) { A::SearchUserByScreenName("Bob", ok, fail); });
  EXPECT_TRUE(by_name.ok);
  EXPECT_GE(by_name.json.size(), 1u);
  Answer by_id = Call([&](auto ok, auto fail) { A::SearchUserById(std::stoll(bob), ok, fail); });
  ASSERT_EQ(by_id.json.size(), 1u);
  EXPECT_EQ(by_id.json[size_t{0}]["_id"].AsString(), bob);
  EXPECT_TRUE(
      Call([&](auto ok, auto fail) { A::SearchUserByMobileNum(13800138000, ok, fail); }).ok);
  env_->location = StoredLocation{39.9f, 116.4f};
  EXPECT_TRUE(Call([&](auto ok, auto fail) { A::GetRecommendUser(ok, fail); }).ok);
  Answer matched = Call([&](auto ok, auto fail) {
    A::MatchIdentity(std::vector<std::string>{"email#" + bob_email, "weibo#nobody"}, ok, fail);
  });
  ASSERT_TRUE(matched.ok) << matched.msg();
  ASSERT_EQ(matched.json.size(), 1u);
  EXPECT_EQ(matched.json[size_t{0}]["_id"].AsString(), bob);
  EXPECT_TRUE(Call([&](auto ok, auto fail) { A::InviteMobileUser("13800138000", ok, fail); }).ok);
  EXPECT_FALSE(Call([&](auto ok, auto fail) { A::InviteMobileUser("12", ok, fail); }).ok);
  (void)cat;
}

TEST_F(ServiceIntegrationTest, VideosCommentsLikesAndWatches) {
  const std::string viewer = Register("Vic");
  const std::string viewer_token = *M::AuthorizationHeaderWithToken();
  const std::string owner = Register("Olga");
  const std::string owner_token = *M::AuthorizationHeaderWithToken();

  V::Publish p;
  p.title = "Lake & hills?";
  p.channel = "travel";
  p.latitude = 39.9f;
  p.longitude = 116.4f;
  p.orientation = "90";
  Answer pub = Call([&](auto ok, auto fail) { V::PublishVideo(p, ok, fail); });
  ASSERT_TRUE(pub.ok) << pub.msg();
  const std::string vid = pub.json["_id"].AsString();
  for (const char* key : {"publish_url", "play_url", "web_url"}) {
    EXPECT_EQ(pub.json[key].AsString().rfind("http", 0), 0u) << key;
  }
  V::Publish secret;
  secret.acl = std::vector<std::string>{viewer, "weibo#w99"};
  secret.is_public = false;
  Answer priv = Call([&](auto ok, auto fail) { V::PublishVideo(secret, ok, fail); });
  ASSERT_TRUE(priv.ok) << priv.msg();
  Answer acl =
      Call([&](auto ok, auto fail) { V::GetVideoAcl(priv.json["_id"].AsString(), ok, fail); });
  EXPECT_EQ(acl.json.size(), 2u);

  Answer meta = Call([&](auto ok, auto fail) { V::VideoMeta(vid, ok, fail); });
  ASSERT_TRUE(meta.ok);
  EXPECT_EQ(meta.json["owner_screen_name"].AsString(), "Olga");
  EXPECT_TRUE(Call([&](auto ok, auto fail) { V::VideoLocation(vid, ok, fail); }).ok);
  EXPECT_EQ(Call([&](auto ok, auto fail) { V::UserVideoTotalCounts(owner, ok, fail); })
                .json["video_counter"]
                .AsInt(),
            2);
  EXPECT_GT(
      Call([&](auto ok, auto fail) { V::GetVideoListCount(ok, fail); }).json["list_size"].AsInt(),
      0);
  Answer room =
      Call([&](auto ok, auto fail) { V::Timeline(owner, std::nullopt, std::nullopt, ok, fail); });
  ASSERT_TRUE(room.ok);
  EXPECT_GE(room.json.size(), 1u);

  EXPECT_TRUE(Call([&](auto ok, auto fail) {
                V::EditVideo(vid, "New title", "ready", true, ok, fail);
              }).ok);
  Value channel;
  channel.Set("channel", "music");
  EXPECT_TRUE(Call([&](auto ok, auto fail) { V::EditVideo(vid, channel, ok, fail); }).ok);
  EXPECT_FALSE(Call([&](auto ok, auto fail) {
                 V::EditVideo(vid, std::nullopt, "nonsense", true, ok, fail);
               }).ok);

  // The viewer comments, likes and watches; the owner deletes the comment.
  SetAccessTokenOnAllClients(viewer_token);
  Answer comment =
      Call([&](auto ok, auto fail) { V::AddComment(vid, owner, "text", "Nice!", ok, fail); });
  ASSERT_TRUE(comment.ok) << comment.msg();
  const std::string cid = comment.json["_id"].AsString();
  Answer voice =
      Call([&](auto ok, auto fail) { V::AddComment(vid, owner, "voice", std::nullopt, ok, fail); });
  EXPECT_FALSE(voice.json["voice_publish_url"].AsString().empty());
  Answer comments =
      Call([&](auto ok, auto fail) { V::GetComments(vid, std::nullopt, std::nullopt, ok, fail); });
  EXPECT_EQ(comments.json.size(), 2u);
  EXPECT_EQ(Call([&](auto ok, auto fail) { V::Like(vid, owner, ok, fail); }).json["count"].AsInt(),
            1);
  EXPECT_EQ(Call([&](auto ok, auto fail) { V::Watch(vid, owner, ok, fail); })
                .json["total_watcher_counter"]
                .AsInt(),
            1);
  EXPECT_FALSE(
      Call([&](auto ok, auto fail) { V::DeleteVideo(vid, ok, fail); }).ok);  // not the owner

  // Signed out: comments, metadata and watches through the web paths.
  SetAccessTokenOnAllClients(std::nullopt);
  Answer anon =
      Call([&](auto ok, auto fail) { V::GetComments(vid, std::nullopt, std::nullopt, ok, fail); });
  EXPECT_TRUE(anon.ok) << anon.msg();
  EXPECT_EQ(anon.json.size(), 2u);
  EXPECT_TRUE(Call([&](auto ok, auto fail) { V::VideoMeta(vid, ok, fail); }).ok);
  EXPECT_TRUE(Call([&](auto ok, auto fail) { V::Watch(vid, owner, ok, fail); }).ok);
  EXPECT_FALSE(Call([&](auto ok, auto fail) { V::Like(vid, owner, ok, fail); }).ok);

  SetAccessTokenOnAllClients(owner_token);
  EXPECT_TRUE(Call([&](auto ok, auto fail) { V::DeleteComment(cid, vid, ok, fail); }).ok);
  EXPECT_TRUE(Call([&](auto ok, auto fail) { V::TerminateVideo(vid, std::nullopt, ok, fail); }).ok);
  EXPECT_TRUE(Call([&](auto ok, auto fail) { V::DeleteVideo(vid, ok, fail); }).ok);
  Answer gone = Call([&](auto ok, auto fail) { V::VideoMeta(vid, ok, fail); });
  EXPECT_FALSE(gone.ok);
  EXPECT_EQ(gone.code(), 404);
}

TEST_F(ServiceIntegrationTest, TimelinesAndMessages) {
  const std::string friend_id = Register("Fay");
  const std::string friend_token = *M::AuthorizationHeaderWithToken();
  Register("Gus");
  const std::string gus_token = *M::AuthorizationHeaderWithToken();
  ASSERT_TRUE(Call([&](auto ok, auto fail) {
                A::AddContacts(std::vector<std::string>{friend_id}, std::nullopt, ok, fail);
              }).ok);
  SetAccessTokenOnAllClients(friend_token);
  V::Publish p;
  p.channel = "music";
  Answer pub = Call([&](auto ok, auto fail) { V::PublishVideo(p, ok, fail); });
  ASSERT_TRUE(pub.ok);
  const std::string vid = pub.json["_id"].AsString();

  SetAccessTokenOnAllClients(gus_token);
  Answer inbox =
      Call([&](auto ok, auto fail) { T::TimelineInBox(std::nullopt, std::nullopt, ok, fail); });
  ASSERT_TRUE(inbox.ok) << inbox.msg();
  EXPECT_GE(inbox.json.size(), 1u);
  EXPECT_TRUE(Call([&](auto ok, auto fail) { T::TimelineInBoxCount(vid, ok, fail); }).ok);
  Answer square = Call([&](auto ok, auto fail) {
    T::TimelineWithChannel("music", T::kSortNew, std::nullopt, std::nullopt, ok, fail);
  });
  ASSERT_TRUE(square.ok);
  EXPECT_GE(square.json.size(), 1u);
  EXPECT_FALSE(Call([&](auto ok, auto fail) {
                 T::TimelineWithChannel(std::nullopt, 0, "not-an-id", std::nullopt, ok, fail);
               }).ok);

  Answer unread =
      Call([&](auto ok, auto fail) { M::UnreadMessage(std::nullopt, std::nullopt, ok, fail); });
  ASSERT_TRUE(unread.ok);
  EXPECT_GE(unread.json.size(), 1u);  // the welcome message at least
  EXPECT_GE(Call([&](auto ok, auto fail) { M::UnreadMessageCount(std::nullopt, ok, fail); })
                .json["count"]
                .AsInt(),
            1);
  EXPECT_TRUE(Call([&](auto ok, auto fail) { M::MessageSetting("#", std::nullopt, ok, fail); }).ok);
  EXPECT_TRUE(
      Call([&](auto ok, auto fail) { M::MessageSetting(std::nullopt, false, ok, fail); }).ok);
  EXPECT_FALSE(Call([&](auto ok, auto fail) { M::GetMessageSetting(ok, fail); })
                   .json["switch"]
                   .AsBool(true));

  SetAccessTokenOnAllClients(std::nullopt);
  Answer anon = Call([&](auto ok, auto fail) {
    T::TimelineWithChannel(std::nullopt, T::kSortHot, std::nullopt, std::nullopt, ok, fail);
  });
  EXPECT_TRUE(anon.ok) << anon.msg();
  Answer refused = Call([&](auto ok, auto fail) { M::UnreadMessageCount(std::nullopt, ok, fail); });
  EXPECT_EQ(refused.code(), 401);
}

// Over TLS with a certificate of the server's own authority: refused until
// that authority is trusted.
TEST(ServiceTlsTest, VerifiesTheServerCertificate) {
  server_testing::ServerOptions options;
  options.tls = true;
  server_testing::ServerProcess server(options);
  ASSERT_EQ(server.url().rfind("https://", 0), 0u);
  platform::LinuxDispatcher dispatcher(2);
  platform::SetDefaultDispatcher(&dispatcher);
  for (bool trusted : {false, true}) {
    platform::CurlHttpClientFactory http(platform::CurlSettings{trusted ? server.ca_file() : ""});
    platform::SetDefaultHttpClientFactory(&http);
    {
      FakeClientEnvironment env;
      ServiceHTTPClient::SetServiceBaseUrl(server.url());
      bool done = false, ok = false;
      Value error = Value("unset");
      TimelineAPIClient::TimelineWithChannel(
          std::nullopt, 0, std::nullopt, std::nullopt, [&](const Value&) { ok = done = true; },
          [&](const Value& e) {
            error = e;
            done = true;
          });
      ASSERT_TRUE(dispatcher.RunMainLoopUntil([&] { return done; }, std::chrono::seconds(20)));
      EXPECT_EQ(ok, trusted);
      if (!trusted) {
        EXPECT_TRUE(error.is_null());
      }
    }
    platform::SetDefaultHttpClientFactory(nullptr);
  }
  platform::SetDefaultDispatcher(nullptr);
}

}  // namespace
}  // namespace service
