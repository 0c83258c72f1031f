#include "contacts/account_contact_requests.h"

#include "service/account_api_client.h"
#include "service/testing/service_test_fixture.h"

namespace contacts {
namespace {

class AccountContactRequestsTest : public service::ServiceTest {};

TEST_F(AccountContactRequestsTest, EachRequestGoesToItsEndpoint) {
  service::SetAccessTokenOnAllClients("T1");
  AccountContactRequests requests;
  std::vector<std::string> answers;
  auto ok = [&](const platform::Value& v) { answers.push_back(platform::ToJson(v)); };
  auto fail = [&](const platform::Value& e) {
    answers.push_back("failed: " + e["msg"].AsString());
  };

  requests.GetContacts(ok, fail);
  requests.AddContacts({"3", "4"}, {}, ok, fail);
  requests.AddContacts({}, {"mobile#138#Wang#None"}, ok, fail);
  requests.RemoveContacts({}, {"weibo#111"}, ok, fail);
  requests.GetBlackList(ok, fail);
  requests.AddUserToBlackList("9", ok, fail);
  requests.RemoveUserFromBlackList("9", ok, fail);
  struct Expected {
    std::string line;
    Fields fields;
  };
  const std::string base = std::string(kBase) + "/api/user/";
  const Expected expected[] = {
      {"GET " + base + "contacts", {}},
      {"POST " + base + "contacts", {{"internal[]", "3"}, {"internal[]", "4"}}},
      {"POST " + base + "contacts", {{"external[]", "mobile#138#Wang#None"}}},
      {"DELETE " + base + "contacts", {{"external[]", "weibo#111"}}},
      {"GET " + base + "blacklist", {}},
      {"POST " + base + "blacklist", {{"uid", "9"}}},
      {"DELETE " + base + "blacklist", {{"uid", "9"}}},
  };
  ASSERT_EQ(fake_.http.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(Line(i), expected[i].line);
    const platform::HttpRequest& r = fake_.http.request(i);
    EXPECT_EQ(platform::DecodeForm(r.body.empty() ? platform::QueryOf(r.url) : r.body),
              expected[i].fields);
  }
  Answer(0, 200, R"({"friend_list": [], "guest_list": []})");
  Answer(1, 404, R"({"code": 404, "msg": "no user 4"})");
  EXPECT_EQ(answers, (std::vector<std::string>{R"({"friend_list":[],"guest_list":[]})",
                                               "failed: no user 4"}));
}

}  // namespace
}  // namespace contacts
