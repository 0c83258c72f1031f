#include "service/video_api_client.h"

#include "service/account_api_client.h"
#include "service/testing/service_test_fixture.h"

namespace service {
namespace {

using platform::Value;

class VideoAPIClientTest : public ServiceTest {};

TEST_F(VideoAPIClientTest, PublishFillsInTitleTimeDeviceAndNetwork) {
  VideoAPIClient::Publish p;
  p.longitude = 116.4f;  // without a latitude: neither is sent
  p.is_public = false;
  p.acl = std::vector<std::string>{"12", "weibo#99"};
  p.orientation = "90";
  VideoAPIClient::PublishVideo(p, nullptr, nullptr);
  EXPECT_EQ(Field(0, "title"), "2013-05-04 10:20:30");
  EXPECT_EQ(Field(0, "publish_utc_time"), "1767225600");  // the manual clock's start
  EXPECT_EQ(Field(0, "network"), "WiFi");
  EXPECT_EQ(Field(0, "device"), "x86_64");
  EXPECT_EQ(Field(0, "public"), "0");
  EXPECT_EQ(Field(0, "orientation"), "90");
  EXPECT_FALSE(HasField(0, "longitude"));
  EXPECT_FALSE(HasField(0, "latitude"));
  EXPECT_FALSE(HasField(0, "channel"));
  EXPECT_NE(fake_.http.request(0).body.find("acl[]=12&acl[]=weibo%2399"), std::string::npos);

  p = {};
  p.title = "Live at the lake";
  p.channel = "travel";
  p.record_time = 1367000000;
  p.longitude = 116.4f;
  p.latitude = 39.9f;
  VideoAPIClient::PublishVideo(p, nullptr, nullptr);
  EXPECT_EQ(Field(1, "title"), "Live at the lake");
  EXPECT_EQ(Field(1, "publish_utc_time"), "1367000000");
  EXPECT_EQ(Field(1, "public"), "1");
  EXPECT_EQ(Field(1, "longitude"), "116.4");
  EXPECT_EQ(Field(1, "latitude"), "39.9");
  EXPECT_EQ(Field(1, "channel"), "travel");
}

TEST_F(VideoAPIClientTest, SignedOutReadsGoToTheWebApiSignedAsTheApplication) {
  VideoAPIClient::GetComments("5", std::nullopt, std::nullopt, nullptr, nullptr);
  VideoAPIClient::GetComments("6", std::nullopt, std::nullopt, nullptr, nullptr);
  VideoAPIClient::Watch("5", "7", nullptr, nullptr);
  VideoAPIClient::VideoMeta("5", nullptr, nullptr);
  EXPECT_EQ(Line(0), std::string("GET ") + kBase + "/webapi/comment");
  EXPECT_EQ(Line(2), std::string("POST ") + kBase + "/webapi/watch");
  EXPECT_EQ(Line(3), std::string("GET ") + kBase + "/webapi/video");
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(Field(i, "provider"), "app");
    EXPECT_EQ(Field(i, "identity"), env_.installation_id);
    EXPECT_EQ(Field(i, "signature"), AccountAPIClient::GetSignature(env_.installation_id, "app"));
  }
  SetAccessTokenOnAllClients("T1");
  VideoAPIClient::GetComments("5", std::nullopt, std::nullopt, nullptr, nullptr);
  EXPECT_EQ(Line(4), std::string("GET ") + kBase + "/api/video/comment");
  EXPECT_EQ(FieldNames(4), std::vector<std::string>{"vid"});
}

TEST_F(VideoAPIClientTest, EditWithoutTitleOrStatusStillSendsPublic) {
  VideoAPIClient::EditVideo("5", std::nullopt, std::nullopt, true, nullptr, nullptr);
  EXPECT_EQ(fake_.http.request(0).body, "public=1&vid=5");
}

// Closing a video page cancels its metadata request only: the timeline,
// counter, location and receivers requests of other screens still answer.
TEST_F(VideoAPIClientTest, CancellingVideoMetaLeavesOtherVideoRequestsAlone) {
  SetAccessTokenOnAllClients("T1");
  std::vector<std::string> answered;
  auto note = [&](std::string name) {
    return [&answered, name](const Value&) { answered.push_back(name); };
  };
  VideoAPIClient::VideoMeta("5", note("meta"), note("meta"));
  VideoAPIClient::Timeline("7", std::nullopt, std::nullopt, note("timeline"), note("timeline"));
  VideoAPIClient::UserVideoTotalCounts("7", note("counter"), note("counter"));
  VideoAPIClient::VideoLocation("5", note("location"), note("location"));
  VideoAPIClient::GetVideoAcl("5", note("acl"), note("acl"));  // waits: four run at a time
  VideoAPIClient::GetComments("5", std::nullopt, std::nullopt, note("comments"), note("comments"));
  VideoAPIClient::Watch("5", "7", note("watch"), note("watch"));

  VideoAPIClient::CancelAllVideoMeta();
  VideoAPIClient::CancelAllGetComments();
  VideoAPIClient::CancelAllWatch();
  using State = platform::ScriptedHttpTransport::State;
  EXPECT_EQ(fake_.http.InState(State::kCancelled), (std::vector<size_t>{0, 5, 6}));
  for (size_t i : {1, 2, 3, 4}) Answer(i, 200, "{}");
  EXPECT_EQ(answered, (std::vector<std::string>{"timeline", "counter", "location", "acl"}));

  // Signed out, metadata goes to the web path and is cancelled there.
  SetAccessTokenOnAllClients("");
  VideoAPIClient::VideoMeta("5", note("meta"), note("meta"));
  VideoAPIClient::CancelAllVideoMeta();
  EXPECT_EQ(fake_.http.state(7), State::kCancelled);
}

}  // namespace
}  // namespace service
