// Every endpoint of the four clients: method, path, parameter names, and
// whether a 401 raises the invalid-token alert.
#include <algorithm>

#include "service/account_api_client.h"
#include "service/api_error_report.h"
#include "service/message_api_client.h"
#include "service/testing/service_test_fixture.h"
#include "service/timeline_api_client.h"
#include "service/video_api_client.h"

namespace service {
namespace {

using platform::Value;
using Names = std::vector<std::string>;

struct Endpoint {
  const char* name;
  std::function<void(ServiceHTTPClient::Failure)> call;
  std::string line;  // method and path
  Names fields;      // parameter names, sorted
  bool reports;
};

std::vector<Endpoint> Endpoints() {
  using A = AccountAPIClient;
  using V = VideoAPIClient;
  using T = TimelineAPIClient;
  using M = MessageAPIClient;
  const std::optional<std::string> none;
  const std::optional<std::string> id = "7";
  const std::vector<std::string> two = {"1", "2"};
  A::Binding binding{"li@example.com", "sig", "email", "Li", "secret", {}};
  Value profile;
  profile.Set("screen_name", "Li").Set("gender", "F");
  Value meta;
  meta.Set("channel", "music");
  return {
      {"login",
       [](auto f) { A::EmailMobileLogin("email", "s", "li@example.com", "pw", nullptr, f); },
       "POST /api/auth/login",
       {"identity", "password", "provider", "signature"},
       false},
      {"register",
       [](auto f) {
         A::EmailMobileRegister("email", "s", "li@example.com", "pw", "Li", nullptr, f);
       },
       "POST /api/auth/register",
       {"identity", "password", "provider", "screen_name", "signature"},
       false},
      {"sns login",
       [](auto f) {
         A::SnsLogin("weibo", "s", "99", "Li",
                     {"at", "3600", std::nullopt, std::nullopt, std::nullopt, std::nullopt},
                     nullptr, f);
       },
       "POST /api/auth/sns",
       {"access_token", "expired_time", "identity", "provider", "screen_name", "signature"},
       false},
      {"reactivate",
       [](auto f) { A::ReActivate("mobile", "s", "13800138000", nullptr, f); },
       "POST /api/auth/reactivate",
       {"identity", "provider", "signature"},
       false},
      {"resetpw",
       [](auto f) { A::ResetEmailMobile("li@example.com", "s", "email", nullptr, f); },
       "POST /api/auth/resetpw",
       {"identity", "provider", "signature"},
       false},
      {"logout", [](auto f) { A::Logout(nullptr, f); }, "POST /api/auth/logout", {}, false},
      {"bind",
       [binding](auto f) { A::BindIdentity(binding, nullptr, f); },
       "POST /api/user/binding",
       {"identity", "password", "provider", "screen_name", "signature"},
       true},
      {"refresh",
       [binding](auto f) {
         auto b = binding;
         b.screen_name.reset();
         A::RefreshIdentity(b, nullptr, f);
       },
       "POST /api/user/binding/refresh",
       {"identity", "password", "provider", "signature"},
       false},
      {"user", [id](auto f) { A::GetUser(id, nullptr, f); }, "GET /api/user", {"uid"}, true},
      {"profile",
       [profile](auto f) { A::UpdateProfile(profile, nullptr, f); },
       "POST /api/user/profile",
       {"gender", "screen_name"},
       true},
      {"contacts", [](auto f) { A::GetContacts(nullptr, f); }, "GET /api/user/contacts", {}, true},
      {"add contacts",
       [two](auto f) { A::AddContacts(two, std::nullopt, nullptr, f); },
       "POST /api/user/contacts",
       {"internal[]", "internal[]"},
       true},
      {"remove contacts",
       [two](auto f) {
         A::RemoveContacts(std::nullopt, std::vector<std::string>{"mobile#138"}, nullptr, f);
       },
       "DELETE /api/user/contacts",
       {"external[]"},
       true},
      {"blacklist",
       [](auto f) { A::GetBlackList(nullptr, f); },
       "GET /api/user/blacklist",
       {},
       true},
      {"block",
       [id](auto f) { A::AddUserToBlackList(id, nullptr, f); },
       "POST /api/user/blacklist",
       {"uid"},
       true},
      {"unblock",
       [id](auto f) { A::RemoveUserFromBlackList(id, nullptr, f); },
       "DELETE /api/user/blacklist",
       {"uid"},
       true},
      {"search name",
       [](auto f) { A::SearchUserByScreenName("Li", nullptr, f); },
       "GET /api/user/search",
       {"screen_name"},
       true},
      {"search id",
       [](auto f) { A::SearchUserById(7, nullptr, f); },
       "GET /api/user/search",
       {"uid"},
       true},
      {"search mobile",
       [](auto f) { A::SearchUserByMobileNum(13800138000, nullptr, f); },
       "GET /api/user/search",
       {"mobile"},
       true},
      {"recommend",
       [](auto f) { A::GetRecommendUser(nullptr, f); },
       "GET /api/user/search",
       {},
       true},
      {"match",
       [](auto f) { A::MatchIdentity(std::vector<std::string>{"weibo#1"}, nullptr, f); },
       "GET /api/user/match",
       {"identity[]"},
       true},
      {"invite",
       [](auto f) { A::InviteMobileUser("13800138000", nullptr, f); },
       "POST /api/user/invite",
       {"mobile"},
       true},
      {"contacts limit",
       [](auto f) { A::GetContactsMaxCount(nullptr, f); },
       "GET /api/user/settings",
       {},
       true},

      {"publish",
       [](auto f) { V::PublishVideo({}, nullptr, f); },
       "POST /api/video/publish",
       {"device", "network", "public", "publish_utc_time", "title"},
       false},
      {"terminate",
       [](auto f) { V::TerminateVideo("5", std::nullopt, nullptr, f); },
       "POST /api/video/terminate",
       {"publish_utc_time", "vid"},
       false},
      {"video timeline",
       [none](auto f) { V::Timeline("7", none, "3", nullptr, f); },
       "GET /api/video/timeline",
       {"after", "uid"},
       true},
      {"meta", [](auto f) { V::VideoMeta("5", nullptr, f); }, "GET /api/video", {"vid"}, true},
      {"location",
       [](auto f) { V::VideoLocation("5", nullptr, f); },
       "GET /api/video/location",
       {"vid"},
       true},
      {"acl",
       [](auto f) { V::GetVideoAcl("5", nullptr, f); },
       "GET /api/video/acl",
       {"vid"},
       false},
      {"counter",
       [](auto f) { V::UserVideoTotalCounts("7", nullptr, f); },
       "GET /api/video/counter",
       {"uid"},
       false},
      {"list size",
       [](auto f) { V::GetVideoListCount(nullptr, f); },
       "GET /api/video/settings",
       {},
       false},
      {"edit",
       [none](auto f) { V::EditVideo("5", none, none, false, nullptr, f); },
       "POST /api/video/edit",
       {"public", "vid"},
       true},
      {"edit meta",
       [meta](auto f) { V::EditVideo("5", meta, nullptr, f); },
       "POST /api/video/edit",
       {"channel", "vid"},
       true},
      {"delete",
       [](auto f) { V::DeleteVideo("5", nullptr, f); },
       "POST /api/video/delete",
       {"vid"},
       true},
      {"comments",
       [none](auto f) { V::GetComments("5", "9", none, nullptr, f); },
       "GET /api/video/comment",
       {"before", "vid"},
       true},
      {"add comment",
       [](auto f) { V::AddComment("5", "7", "text", "hi", nullptr, f); },
       "POST /api/video/comment",
       {"ctype", "text", "utc_ts", "vid", "video_owner_id"},
       true},
      {"delete comment",
       [](auto f) { V::DeleteComment("9", "5", nullptr, f); },
       "DELETE /api/video/comment",
       {"cid", "vid"},
       true},
      {"like",
       [](auto f) { V::Like("5", "7", nullptr, f); },
       "POST /api/video/like",
       {"utc_ts", "vid", "video_owner_id"},
       true},
      {"watch",
       [](auto f) { V::Watch("5", "7", nullptr, f); },
       "POST /api/video/watch",
       {"utc_ts", "vid", "video_owner_id"},
       true},

      {"square",
       [none](auto f) { T::TimelineWithChannel("music", 1, "4", none, nullptr, f); },
       "GET /api/timeline",
       {"after", "channel", "sort"},
       true},
      {"inbox",
       [none](auto f) { T::TimelineInBox("4", none, nullptr, f); },
       "GET /api/timeline/inbox",
       {"before"},
       true},
      {"inbox count",
       [](auto f) { T::TimelineInBoxCount("4", nullptr, f); },
       "GET /api/timeline/inbox/count",
       {"vid"},
       true},

      {"unread",
       [none](auto f) { M::UnreadMessage(none, "1367600000", nullptr, f); },
       "GET /api/message/unread",
       {"after"},
       true},
      {"unread count",
       [none](auto f) { M::UnreadMessageCount(none, nullptr, f); },
       "GET /api/message/unread/count",
       {},
       true},
      {"push setting",
       [](auto f) { M::MessageSetting("#", std::nullopt, nullptr, f); },
       "POST /api/message/setting",
       {"apn_token"},
       true},
      {"get push setting",
       [](auto f) { M::GetMessageSetting(nullptr, f); },
       "GET /api/message/setting",
       {},
       true},
  };
}

class EndpointsTest : public ServiceTest {};

TEST_F(EndpointsTest, EveryEndpointOnTheWire) {
  SetAccessTokenOnAllClients("token-1");
  for (const Endpoint& e : Endpoints()) {
    const size_t index = fake_.http.size();
    APIErrorReport::Reset();
    const size_t alerts_before = fake_.alerts.visible().size();
    bool failed = false;
    e.call([&failed](const Value& error) { failed = error["code"].AsInt() == 401; });
    ASSERT_EQ(fake_.http.size(), index + 1) << e.name;
    EXPECT_EQ(Line(index), "" + e.line.substr(0, e.line.find(' ')) + " " + kBase +
                               e.line.substr(e.line.find(' ') + 1))
        << e.name;
    Names names = FieldNames(index);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, e.fields) << e.name;
    if (e.name != std::string("logout")) {
      EXPECT_EQ(fake_.http.request(index).Header("X-Access-Token"), "token-1") << e.name;
    }
    Answer(index, 401, R"({"code":401,"msg":"bad token"})");
    EXPECT_TRUE(failed) << e.name;
    EXPECT_EQ(fake_.alerts.visible().size() - alerts_before, e.reports ? 1u : 0u) << e.name;
    if (e.name == std::string("logout")) SetAccessTokenOnAllClients("token-1");
  }
}

}  // namespace
}  // namespace service
