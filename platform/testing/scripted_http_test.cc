#include "platform/testing/scripted_http.h"

#include <gtest/gtest.h>

#include "platform/testing/fake_platform.h"

namespace platform {
namespace {

using State = ScriptedHttpTransport::State;

HttpRequest Get(std::string url) {
  HttpRequest r;
  r.url = std::move(url);
  return r;
}

TEST(ScriptedHttpTransportTest, RunsFourAtATimeAndDeliversOnTheMainQueue) {
  FakePlatform fake;
  auto client = DefaultHttpClientFactory().NewClient({});
  std::vector<int> answered;
  for (int i = 0; i < 6; ++i) {
    client->Send(Get("http://h/" + std::to_string(i)),
                 [&answered, i](const HttpResponse&) { answered.push_back(i); });
  }
  EXPECT_EQ(fake.http.InState(State::kRunning), (std::vector<size_t>{0, 1, 2, 3}));
  EXPECT_EQ(client->pending(), 6u);
  ASSERT_TRUE(fake.http.Respond(2, JsonResponse(200, "{}")));
  EXPECT_TRUE(answered.empty());  // not before the main queue runs
  EXPECT_EQ(fake.http.state(4), State::kRunning);
  fake.dispatcher.RunUntilIdle();
  EXPECT_EQ(answered, std::vector<int>{2});
  EXPECT_FALSE(fake.http.Respond(2, JsonResponse(200, "{}")));  // answered already
}

TEST(ScriptedHttpTransportTest, CancelByMethodAndPrefixSilencesEvenQueuedAnswers) {
  FakePlatform fake;
  auto client = DefaultHttpClientFactory().NewClient({});
  int calls = 0;
  auto count = [&calls](const HttpResponse&) { ++calls; };
  client->Send(Get("http://h/api/timeline?after=1"), count);
  HttpRequest post = Get("http://h/api/timeline");
  post.method = "POST";
  client->Send(post, count);
  client->Send(Get("http://h/api/timelinex"), count);
  client->Send(Get("http://h/api/user"), count);
  ASSERT_TRUE(fake.http.Respond(0, JsonResponse(200, "[]")));  // answered, not yet delivered
  EXPECT_EQ(client->Cancel("GET", "http://h/api/timeline"), 2u);
  fake.dispatcher.RunUntilIdle();
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(fake.http.state(1), State::kRunning);
  EXPECT_EQ(fake.http.state(2), State::kCancelled);
  EXPECT_EQ(client->Cancel(std::nullopt, "http://h/api/"), 2u);
  EXPECT_EQ(client->pending(), 0u);
}

TEST(ScriptedHttpTransportTest, DecodeForm) {
  auto fields = DecodeForm("a=1&b%5B%5D=x%20y&b%5B%5D=%26&c");
  ASSERT_EQ(fields.size(), 4u);
  EXPECT_EQ(fields[1], (std::pair<std::string, std::string>{"b[]", "x y"}));
  EXPECT_EQ(fields[2].second, "&");
  EXPECT_EQ(fields[3].first, "c");
}

}  // namespace
}  // namespace platform
