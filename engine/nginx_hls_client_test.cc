// The upload client against a loopback HTTP server that records its requests.
#include "engine/nginx_hls_client.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "engine/testing/loopback_http_server.h"
#include "engine/testing/temp_dir.h"

namespace selvo {
namespace {

using namespace selvo::testing;

SinkParams Params(const std::string& url, const std::atomic<int>* stop = nullptr) {
  SinkParams params;
  params.url = url;
  params.access_token = "tok-123";
  params.user_agent = "Selvo 1.0 (Linux; test)";
  params.stop = stop;
  return params;
}

class NginxHLSClientTest : public ::testing::Test {
 protected:
  HttpAction Answer(const HttpRequestRecord&) {
    std::lock_guard lock(mutex_);
    return next_;
  }
  void AnswerWith(HttpAction action) {
    std::lock_guard lock(mutex_);
    next_ = std::move(action);
  }

  std::mutex mutex_;
  HttpAction next_;
  LoopbackHttpServer server_{[this](const HttpRequestRecord& r) { return Answer(r); }};
  const std::string stream_url_ = server_.url() + "/ingest/video/7/key";
  TempDir dir_;
};

// Every request carries the fixed headers and a Content-Length equal to its body.
void ExpectHeaders(const HttpRequestRecord& request) {
  SCOPED_TRACE(request.method + " " + request.target);
  EXPECT_FALSE(request.Has("expect"));
  EXPECT_EQ(request.Header("content-type"), "video/MP2T");
  EXPECT_EQ(request.Header("hls-version"), "1.2");
  EXPECT_EQ(request.Header("access-token"), "tok-123");
  EXPECT_EQ(request.Header("user-agent"), "Selvo 1.0 (Linux; test)");
  EXPECT_EQ(request.Header("content-length"), std::to_string(request.body.size()));
}

struct Sent {
  std::string method;
  std::string target;
  std::string body;
};

TEST_F(NginxHLSClientTest, SendsTheCommandsOfAnUploadStream) {
  const std::string video = dir_.File("video.mov");
  const std::string with_thumbnail = dir_.File("thumbed.mov");
  std::FILE* jpeg = std::fopen((with_thumbnail + ".jpg").c_str(), "wb");
  std::fputs("\xFF\xD8jpeg bytes\xFF\xD9", jpeg);
  std::fclose(jpeg);
  std::FILE* empty = std::fopen((video + ".jpg").c_str(), "wb");  // empty: no thumbnail
  std::fclose(empty);
  const std::string base = "/ingest/video/7/key";
  const std::string piece(188 * 3, 'G');

  struct Case {
    std::function<SinkStatus(NginxHLSClient&)> call;
    std::vector<Sent> sent;
  };
  const Case cases[] = {
      {[&](NginxHLSClient& c) { return c.Open(with_thumbnail); },
       {{"PUT", base + "?cmd=0", "\xFF\xD8jpeg bytes\xFF\xD9"}}},
      {[&](NginxHLSClient& c) { return c.Open(video); },
       {{"HEAD", base + "?cmd=0", ""}, {"PUT", base + "?cmd=0", ""}}},
      {[&](NginxHLSClient& c) { return c.Open(dir_.File("missing.mov")); },
       {{"HEAD", base + "?cmd=0", ""}, {"PUT", base + "?cmd=0", ""}}},
      {[&](NginxHLSClient& c) { return c.Open(""); }, {{"HEAD", base + "?cmd=0", ""}}},
      {[&](NginxHLSClient& c) {
         return c.Piece(3, 5, reinterpret_cast<const uint8_t*>(piece.data()), piece.size());
       },
       {{"PUT", base + "?cmd=2&seg=3&sec=5", piece}}},
      {[&](NginxHLSClient& c) {
         c.Close();
         return SinkStatus::kOk;
       },
       {{"HEAD", base + "?cmd=1", ""}}},
  };
  size_t seen = 0;
  NginxHLSClient client(Params(stream_url_));
  for (const Case& c : cases) {
    EXPECT_EQ(c.call(client), SinkStatus::kOk);
    const auto requests = server_.requests();
    ASSERT_EQ(requests.size(), seen + c.sent.size());
    for (size_t i = 0; i < c.sent.size(); ++i) {
      const HttpRequestRecord& r = requests[seen + i];
      EXPECT_EQ(r.method, c.sent[i].method);
      EXPECT_EQ(r.target, c.sent[i].target);
      EXPECT_EQ(r.body, c.sent[i].body);
      ExpectHeaders(r);
    }
    seen = requests.size();
  }
}

TEST_F(NginxHLSClientTest, MapsAnswersToResults) {
  struct Case {
    HttpAction answer;
    int result;
    SinkStatus status;
  };
  const Case cases[] = {
      {{HttpAction::kAnswer, 200, "{}"}, 0, SinkStatus::kOk},
      {{HttpAction::kAnswer, 401, "{}"}, 2, SinkStatus::kUnauthorized},
      {{HttpAction::kAnswer, 413, "{}"}, 3, SinkStatus::kTooLarge},
      {{HttpAction::kAnswer, 500, "{}"}, 1, SinkStatus::kFailed},
      {{HttpAction::kAnswer, 404, "{}"}, 1, SinkStatus::kFailed},
      {{HttpAction::kAnswer, 204, ""}, 1, SinkStatus::kFailed},
      {{HttpAction::kDrop}, 1, SinkStatus::kFailed},
  };
  const uint8_t data[188] = {0x47};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer.kind == HttpAction::kDrop ? 0 : c.answer.status);
    AnswerWith(c.answer);
    NginxHLSClient client(Params(stream_url_));
    EXPECT_EQ(client.SendStream(data, sizeof(data), 1, 1), c.result);
    EXPECT_EQ(client.Piece(1, 1, data, sizeof(data)), c.status);
    EXPECT_EQ(client.Open(""), c.status);
    EXPECT_EQ(client.last_error().empty(), c.result == 0) << client.last_error();
  }
  // Nothing listens there.
  NginxHLSClient nowhere(Params("http://127.0.0.1:1/ingest"));
  EXPECT_EQ(nowhere.SendStream(data, sizeof(data), 1, 1), 1);
  EXPECT_EQ(nowhere.last_status(), 0);
  // Only HTTP and HTTPS.
  NginxHLSClient file(Params("file:///etc/passwd"));
  EXPECT_EQ(file.Open(""), SinkStatus::kFailed);
}

TEST_F(NginxHLSClientTest, TheStopFlagEndsARequestTheServerNeverAnswers) {
  AnswerWith({HttpAction::kHang});
  std::atomic<int> stop{0};
  NginxHLSClient client(Params(stream_url_, &stop));
  const std::vector<uint8_t> data(188 * 100, 0x47);
  auto sent =
      std::async(std::launch::async, [&] { return client.Piece(1, 1, data.data(), data.size()); });
  ASSERT_TRUE(server_.WaitForRequests(1));
  stop.fetch_add(1);
  EXPECT_EQ(sent.get(), SinkStatus::kFailed);
  EXPECT_NE(client.last_error().find("failed"), std::string::npos) << client.last_error();
}

TEST_F(NginxHLSClientTest, GivesUpOnAServerThatStopsAnswering) {
  AnswerWith({HttpAction::kHang});
  SinkParams params = Params(stream_url_);
  params.http.low_speed_seconds = 1;  // 30 in the application
  NginxHLSClient client(params);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(client.Open(""), SinkStatus::kFailed);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_NE(client.last_error().find("failed"), std::string::npos);
}

TEST(NginxHLSClientSourceTest, ReadsAndSeeksOnlyWithinTheBody) {
  const uint8_t body[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  NginxHLSClient::Source source{body, 10, body, 10};
  char buffer[16];
  EXPECT_EQ(NginxHLSClient::CurlReadFunction(buffer, 1, 4, &source), 4u);
  EXPECT_EQ(buffer[3], 3);
  struct Case {
    int64_t offset;
    int origin;
    int result;
    size_t remaining;  // afterwards
  };
  const Case cases[] = {
      {0, SEEK_END, CURL_SEEKFUNC_FAIL, 6},   {-1, SEEK_CUR, CURL_SEEKFUNC_OK, 7},
      {8, SEEK_CUR, CURL_SEEKFUNC_FAIL, 7},   {7, SEEK_CUR, CURL_SEEKFUNC_OK, 0},
      {-11, SEEK_CUR, CURL_SEEKFUNC_FAIL, 0}, {-10, SEEK_CUR, CURL_SEEKFUNC_OK, 10},
      {10, SEEK_SET, CURL_SEEKFUNC_OK, 0},    {11, SEEK_SET, CURL_SEEKFUNC_FAIL, 0},
      {-1, SEEK_SET, CURL_SEEKFUNC_FAIL, 0},  {2, SEEK_SET, CURL_SEEKFUNC_OK, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.offset) + " from " + std::to_string(c.origin));
    EXPECT_EQ(NginxHLSClient::CurlSeekFunction(&source, c.offset, c.origin), c.result);
    EXPECT_EQ(source.remaining, c.remaining);
    EXPECT_EQ(source.cursor, body + 10 - c.remaining);
  }
  EXPECT_EQ(NginxHLSClient::CurlReadFunction(buffer, 4, 4, &source), 8u);
  EXPECT_EQ(buffer[0], 2);
  EXPECT_EQ(NginxHLSClient::CurlReadFunction(buffer, 1, 4, &source), 0u);
  EXPECT_EQ(NginxHLSClient::CurlSeekFunction(nullptr, 0, SEEK_SET), CURL_SEEKFUNC_FAIL);
  EXPECT_EQ(NginxHLSClient::CurlReadFunction(buffer, 1, 4, nullptr), 0u);
}

}  // namespace
}  // namespace selvo
