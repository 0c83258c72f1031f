#include "service/account_api_client.h"
#include "service/message_api_client.h"
#include "service/testing/service_test_fixture.h"
#include "service/timeline_api_client.h"

namespace service {
namespace {

class TimelineMessageAPIClientTest : public ServiceTest {};

TEST_F(TimelineMessageAPIClientTest, SquareSignedOutAndIn) {
  TimelineAPIClient::TimelineWithChannel(std::nullopt, 0, "10", "4", nullptr, nullptr);
  EXPECT_EQ(Line(0), std::string("GET ") + kBase + "/webapi/timeline");
  EXPECT_EQ(FieldsOf(0),
            (Fields{{"after", "10"},
                    {"before", "4"},
                    {"identity", env_.installation_id},
                    {"provider", "app"},
                    {"signature", AccountAPIClient::GetSignature(env_.installation_id, "app")}}));
  SetAccessTokenOnAllClients("T1");
  TimelineAPIClient::TimelineWithChannel("music", 2, std::nullopt, std::nullopt, nullptr, nullptr);
  EXPECT_EQ(Line(1), std::string("GET ") + kBase + "/api/timeline");
  EXPECT_EQ(FieldsOf(1), (Fields{{"channel", "music"}, {"sort", "new"}}));
  TimelineAPIClient::TimelineWithChannel(std::nullopt, 1, std::nullopt, std::nullopt, nullptr,
                                         nullptr);
  EXPECT_EQ(FieldsOf(2), (Fields{{"sort", "hot"}}));
}

TEST_F(TimelineMessageAPIClientTest, MessageParameters) {
  SetAccessTokenOnAllClients("T1");
  MessageAPIClient::UnreadMessageCount(std::nullopt, nullptr, nullptr);
  EXPECT_EQ(fake_.http.request(0).url, std::string(kBase) + "/api/message/unread/count");
  MessageAPIClient::MessageSetting("#", std::nullopt, nullptr, nullptr);
  EXPECT_EQ(fake_.http.request(1).body, "apn_token=%23");
  MessageAPIClient::MessageSetting(std::nullopt, false, nullptr, nullptr);
  EXPECT_EQ(fake_.http.request(2).body, "switch=0");
  bool allow = false;
  MessageAPIClient::GetMessageSetting(
      [&](const platform::Value& v) { allow = v["switch"].AsBool(); }, nullptr);
  Answer(3, 200, R"({"switch":true})");
  EXPECT_TRUE(allow);
}

}  // namespace
}  // namespace service
