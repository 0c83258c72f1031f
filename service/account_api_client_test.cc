#include "service/account_api_client.h"

#include "platform/file_system.h"
#include "platform/image_codec.h"
#include "platform/md5.h"
#include "service/api_error_report.h"
#include "service/message_api_client.h"
#include "service/testing/service_test_fixture.h"
#include "service/timeline_api_client.h"
#include "service/video_api_client.h"

namespace service {
namespace {

using platform::Value;

class AccountAPIClientTest : public ServiceTest {
 protected:
  std::vector<std::optional<std::string>> Tokens() {
    return {AccountAPIClient::SharedClient().AccessTokenHeader(),
            VideoAPIClient::AuthorizationHeaderWithToken(),
            MessageAPIClient::AuthorizationHeaderWithToken(),
            TimelineAPIClient::AuthorizationHeaderWithToken()};
  }
};

TEST_F(AccountAPIClientTest, SignatureIsTheDigestOfIdentityProviderAndTheApplicationKeys) {
  EXPECT_EQ(AccountAPIClient::Md5HexDigest("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(
      AccountAPIClient::GetSignature("li@example.com", "email"),
      platform::Md5HexDigest("li@example.com$email$4817203956$9c1e6f3a0b7d4e2f8a5c6b1d0e3f7a29"));
}

TEST_F(AccountAPIClientTest, LoginInstallsTheTokenOnAllFourClientsAndRearmsTheAlert) {
  using List = std::vector<std::optional<std::string>>;
  EXPECT_EQ(Tokens(), List(4, std::nullopt));
  APIErrorReport::Pause();
  std::optional<std::string> seen;
  AccountAPIClient::EmailMobileLogin(
      "email", AccountAPIClient::GetSignature("li@example.com", "email"), "li@example.com",
      "secret1",
      [&](const Value& response, const std::optional<std::string>& token) {
        EXPECT_EQ(response["_id"].AsInt(), 12);
        seen = token;
      },
      nullptr);
  EXPECT_EQ(Field(0, "signature"), AccountAPIClient::GetSignature("li@example.com", "email"));
  Answer(0, 200, R"({"_id":12,"login_meta":{"token":"T1","screen_name":"Li"}})");
  EXPECT_EQ(seen, "T1");
  EXPECT_EQ(Tokens(), List(4, "T1"));
  EXPECT_FALSE(APIErrorReport::InvalidAccessTokenReported());
  EXPECT_EQ(VideoAPIClient::SharedClient().DefaultHeader("User-Agent"), env_.user_agent);

  // A mobile account not activated yet: success without a token.
  bool called = false;
  AccountAPIClient::EmailMobileLogin(
      "mobile", "s", "13800138000", "secret1",
      [&](const Value&, const std::optional<std::string>& token) {
        called = true;
        EXPECT_FALSE(token);
      },
      nullptr);
  Answer(1, 200, R"({"_id":13,"login_meta":{}})");
  EXPECT_TRUE(called);
  EXPECT_EQ(Tokens(), List(4, std::nullopt));
}

// The token is forgotten whatever the service says of the logout: a rejected
// token or no network must not leave the clients looking signed in.
TEST_F(AccountAPIClientTest, LogoutClearsTheTokenLocallyWhateverTheAnswer) {
  using List = std::vector<std::optional<std::string>>;
  for (int answer = 0; answer < 3; ++answer) {
    SetAccessTokenOnAllClients("T1");
    int failures = 0, successes = 0;
    AccountAPIClient::Logout([&](const Value&) { ++successes; }, [&](const Value&) { ++failures; });
    const size_t i = fake_.http.size() - 1;
    EXPECT_EQ(fake_.http.request(i).Header("X-Access-Token"), "T1");
    EXPECT_EQ(Tokens(), List(4, ""));
    if (answer == 0) Answer(i, 200, "{}");
    if (answer == 1) Answer(i, 401, R"({"code":401,"msg":"bad token"})");
    if (answer == 2) Fail(i);
    EXPECT_EQ(successes + failures, 1);
    EXPECT_EQ(Tokens(), List(4, ""));
    EXPECT_FALSE(MessageAPIClient::AuthorizationHeaderWithToken().value_or("x").size());
  }
  EXPECT_TRUE(fake_.alerts.visible().empty());
}

// A signed-out user asking for a new password gets no "session expired" alert
// and no logout.
TEST_F(AccountAPIClientTest, PasswordResetRejectedWithA401RaisesNoAlert) {
  Value error;
  AccountAPIClient::ResetEmailMobile("li@example.com",
                                     AccountAPIClient::GetSignature("li@example.com", "email"),
                                     "email", nullptr, [&](const Value& e) { error = e; });
  EXPECT_EQ(Field(0, "provider"), "email");
  Answer(0, 401, R"({"code":401,"msg":"unknown account"})");
  EXPECT_EQ(error["msg"].AsString(), "unknown account");
  EXPECT_TRUE(fake_.alerts.visible().empty());
  EXPECT_FALSE(APIErrorReport::InvalidAccessTokenReported());
}

TEST_F(AccountAPIClientTest, OptionalParametersStayOutWhenNotGiven) {
  AccountAPIClient::AddContacts(std::nullopt, std::vector<std::string>{"mobile#138#Wang#None"},
                                nullptr, nullptr);
  EXPECT_EQ(FieldNames(0), std::vector<std::string>{"external[]"});
  EXPECT_EQ(Field(0, "external[]"), "mobile#138#Wang#None");
  AccountAPIClient::AddContacts(std::vector<std::string>{"3", "4"}, std::nullopt, nullptr, nullptr);
  EXPECT_EQ(fake_.http.request(1).body, "internal[]=3&internal[]=4");
  AccountAPIClient::GetRecommendUser(nullptr, nullptr);
  EXPECT_TRUE(FieldNames(2).empty());
  env_.location = StoredLocation{39.9f, 116.4f};
  AccountAPIClient::GetRecommendUser(nullptr, nullptr);
  EXPECT_EQ(platform::QueryOf(fake_.http.request(3).url), "latitude=39.9&longitude=116.4");
}

TEST_F(AccountAPIClientTest, AvatarUploadSendsAJpegAndRefusesWhatIsNoPicture) {
  const std::string dir = fake_.environment.root();
  platform::FileSystem& fs = platform::DefaultFileSystem();
  platform::ImageCodec& codec = platform::DefaultImageCodec();
  auto png = codec.EncodePng(platform::Image::Filled(32, 24, 200, 40, 40));
  ASSERT_TRUE(png);
  ASSERT_TRUE(fs.WriteFileAtomically(dir + "/a.jpg", *png));  // a PNG behind a ".jpg" name
  // JPEG markers around nothing: no picture.
  ASSERT_TRUE(
      fs.WriteFileAtomically(dir + "/fake.jpg", std::string("\xFF\xD8\xFF\xE0xx\xFF\xD9", 8)));
  ASSERT_TRUE(fs.WriteFileAtomically(dir + "/a.txt", "not an image"));
  int nulls = 0;
  auto count_null = [&](const Value& e) { nulls += e.is_null(); };
  AccountAPIClient::UploadAvatar(dir + "/a.txt", nullptr, count_null);
  AccountAPIClient::UploadAvatar(dir + "/missing.jpg", nullptr, count_null);
  AccountAPIClient::UploadAvatar(dir + "/fake.jpg", nullptr, count_null);
  EXPECT_EQ(nulls, 3);
  EXPECT_EQ(fake_.http.size(), 0u);

  std::string url;
  AccountAPIClient::UploadAvatar(
      dir + "/a.jpg", [&](const Value& v) { url = v["url"].AsString(); }, nullptr);
  ASSERT_EQ(fake_.http.size(), 1u);
  const platform::HttpRequest& r = fake_.http.request(0);
  EXPECT_EQ(Line(0), std::string("POST ") + kBase + "/api/user/upload");
  ASSERT_EQ(r.form.size(), 2u);
  EXPECT_EQ(r.form[0].name, "desc");
  EXPECT_EQ(r.form[0].data, "avatar");
  EXPECT_EQ(r.form[1].name, "payload");
  EXPECT_EQ(r.form[1].file_name, "jpg");
  EXPECT_EQ(r.form[1].content_type, "image/jpeg");
  EXPECT_EQ(platform::SniffImageFormat(r.form[1].data), platform::ImageFormat::kJpeg);
  auto sent = codec.Decode(r.form[1].data);
  ASSERT_TRUE(sent);
  EXPECT_EQ(sent->width, 32);
  EXPECT_EQ(sent->height, 24);
  Answer(0, 200, R"({"url":"https://cdn/a.jpg"})");
  EXPECT_EQ(url, "https://cdn/a.jpg");
}

}  // namespace
}  // namespace service
