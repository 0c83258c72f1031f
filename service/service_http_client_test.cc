#include "service/service_http_client.h"

#include "service/testing/service_test_fixture.h"

namespace service {
namespace {

using platform::Value;

class ServiceHTTPClientTest : public ServiceTest {
 protected:
  ServiceHTTPClient client_{"https://api.selvo.test/"};
  std::vector<std::string> calls_;
  ServiceHTTPClient::Success Ok(std::string name) {
    return [this, name](const Value& json) {
      calls_.push_back(name + " ok " + platform::ToJson(json));
    };
  }
  ServiceHTTPClient::Failure Err(std::string name) {
    return [this, name](const Value& json) {
      calls_.push_back(name + " failed " + platform::ToJson(json));
    };
  }
};

TEST_F(ServiceHTTPClientTest, BuildsRequestsWithHeadersAndEncodedParameters) {
  Value params;
  params.Set("vid", "a b&c");
  client_.Get("/api/video", params, nullptr, nullptr);
  client_.Get("api/message/unread?x=1", params, nullptr, nullptr);
  client_.Delete("/api/video/comment", params, nullptr, nullptr);
  client_.Post("/api/video/like", params, nullptr, nullptr);
  client_.SetAccessTokenHeader("tok");
  client_.Post("/api/auth/logout", Value(), nullptr, nullptr);

  EXPECT_EQ(fake_.http.request(0).url, "https://api.selvo.test/api/video?vid=a%20b%26c");
  EXPECT_EQ(fake_.http.request(1).url,
            "https://api.selvo.test/api/message/unread?x=1&vid=a%20b%26c");
  EXPECT_EQ(fake_.http.request(2).url, "https://api.selvo.test/api/video/comment?vid=a%20b%26c");
  const platform::HttpRequest& post = fake_.http.request(3);
  EXPECT_EQ(post.url, "https://api.selvo.test/api/video/like");
  EXPECT_EQ(post.body, "vid=a%20b%26c");
  EXPECT_EQ(post.Header("Content-Type"), "application/x-www-form-urlencoded; charset=utf-8");
  EXPECT_EQ(post.Header("Accept"), "application/json");
  EXPECT_EQ(post.Header("Accept-Encoding"), "gzip");
  EXPECT_EQ(post.Header("Accept-Language"), "en-us, en-us;q=0.8");
  EXPECT_EQ(post.Header("User-Agent"),
            "Selvo/1.0.0 (unknown, Linux 6.1.0-test, x86_64, Scale/1.00)");
  // A request keeps the headers it was built with.
  for (const auto& header : post.headers) EXPECT_NE(header.first, "X-Access-Token");
  EXPECT_EQ(fake_.http.request(4).Header("X-Access-Token"), "tok");
  EXPECT_TRUE(fake_.http.request(4).body.empty());
  client_.SetApplicationUserAgent();
  EXPECT_EQ(client_.DefaultHeader("user-agent"), env_.user_agent);
}

TEST_F(ServiceHTTPClientTest, SortsAnswersIntoSuccessAndFailure) {
  struct Case {
    platform::HttpResponse response;
    std::string expected;
  };
  auto typed = [](int status, std::string type, std::string body) {
    platform::HttpResponse r;
    r.status = status;
    r.content_type = std::move(type);
    r.body = std::move(body);
    return r;
  };
  const Case cases[] = {
      {platform::JsonResponse(200, R"({"_id":3})"), "ok {\"_id\":3}"},
      {typed(200, "text/javascript", "[1]"), "ok [1]"},
      {typed(201, "text/json", ""), "ok null"},
      {typed(200, "text/html", R"({"_id":3})"), "failed {\"_id\":3}"},
      {platform::JsonResponse(200, "{broken"), "failed null"},
      {platform::JsonResponse(404, R"({"code":404,"msg":"no such video"})"),
       "failed {\"code\":404,\"msg\":\"no such video\"}"},
      {typed(500, "text/html", "<html>oops</html>"), "failed null"},
      {platform::NoResponse(), "failed null"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    calls_.clear();
    client_.Get("/api/x", Value(), Ok("r"), Err("r"));
    ASSERT_TRUE(fake_.http.RespondNext(cases[i].response));
    fake_.dispatcher.RunUntilIdle();
    EXPECT_EQ(calls_, std::vector<std::string>{"r " + cases[i].expected}) << i;
  }
}

TEST_F(ServiceHTTPClientTest, RunsFourAtATime) {
  for (int i = 0; i < 5; ++i) client_.Get("/api/x", Value(), nullptr, nullptr);
  EXPECT_EQ(fake_.http.InState(platform::ScriptedHttpTransport::State::kRunning).size(), 4u);
  EXPECT_EQ(client_.pending(), 5u);
}

TEST_F(ServiceHTTPClientTest, CancelsByMethodAndPathWhateverTheQuery) {
  Value after;
  after.Set("after", "9");
  client_.Get("/api/timeline", after, Ok("get1"), Err("get1"));
  client_.Get("/api/timeline", Value(), Ok("get2"), Err("get2"));
  client_.Post("/api/timeline", after, Ok("post"), Err("post"));
  client_.Get("/api/user", Value(), Ok("user"), Err("user"));
  Answer(1, 200, "[]");
  calls_.clear();
  client_.Get("/api/timeline", after, Ok("get3"), Err("get3"));
  ASSERT_TRUE(fake_.http.Respond(4, platform::JsonResponse(200, "[]")));  // not yet delivered
  EXPECT_EQ(client_.CancelAllHTTPOperations("GET", "/api/timeline"), 2u);
  Answer(2, 200, "{}");
  Answer(3, 200, "{}");
  EXPECT_FALSE(fake_.http.Respond(0, platform::JsonResponse(200, "[]")));
  fake_.dispatcher.RunUntilIdle();
  EXPECT_EQ(calls_, (std::vector<std::string>{"post ok {}", "user ok {}"}));
  EXPECT_EQ(client_.CancelAllHTTPOperations(std::nullopt, "/api"), 0u);
}

}  // namespace
}  // namespace service
