// Many threads through one Backend at once (no HTTP): writers, readers and
// ingest together keep every count exact. Run under ThreadSanitizer too.
#include "server/backend.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "platform/json.h"
#include "server/ts_test_pieces.h"
#include "service/service_identity.h"

namespace server {
namespace {

HttpRequest Request(std::string method, std::string path, std::multimap<std::string, std::string> params,
                    const std::string& token = "") {
  HttpRequest request;
  request.method = std::move(method);
  request.path = std::move(path);
  request.params = std::move(params);
  request.base_url = "http://127.0.0.1:1";
  if (!token.empty()) request.headers["x-access-token"] = token;
  return request;
}

platform::Value Json(const HttpResponse& response) {
  return platform::ParseJson(response.body).value_or(platform::Value());
}

TEST(BackendConcurrencyTest, ParallelWritersReadersAndUploads) {
  auto dir = std::filesystem::temp_directory_path() / ("backend-concurrency-" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  BackendOptions options;
  options.data_dir = dir.string();
  options.settings.avatar_dir = (dir / "avatars").string();
  Backend backend(options);

  constexpr int kThreads = 6;
  constexpr int kRounds = 20;
  std::vector<std::string> tokens;
  std::vector<int64_t> uids;
  for (int i = 0; i < kThreads; ++i) {
    std::string email = "t" + std::to_string(i) + "@example.com";
    HttpResponse answer = backend.Handle(Request(
        "POST", "/api/auth/register",
        {{"provider", "email"}, {"identity", email}, {"signature", service::Signature(email, "email")},
         {"password", "secret1"}, {"screen_name", "T"}}));
    ASSERT_EQ(answer.status, 200) << answer.body;
    tokens.push_back(Json(answer)["login_meta"]["token"].AsString());
    uids.push_back(Json(answer)["_id"].AsInt());
  }
  HttpResponse published = backend.Handle(Request("POST", "/api/video/publish", {{"public", "1"}}, tokens[0]));
  ASSERT_EQ(published.status, 200);
  std::string vid = std::to_string(Json(published)["_id"].AsInt());
  std::string ingest = Json(published)["publish_url"].AsString();
  ingest = ingest.substr(ingest.find("/ingest/"));
  HttpRequest open = Request("PUT", ingest, {{"cmd", "0"}});
  open.headers["access-token"] = tokens[0];
  ASSERT_EQ(backend.Handle(open).status, 200);

  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        HttpResponse comment = backend.Handle(Request(
            "POST", "/api/video/comment",
            {{"vid", vid}, {"video_owner_id", std::to_string(uids[0])}, {"ctype", "text"}, {"text", "hi"}},
            tokens[t]));
        HttpResponse read = backend.Handle(Request("GET", "/api/video/comment", {{"vid", vid}}, tokens[t]));
        HttpResponse square = backend.Handle(Request("GET", "/api/timeline", {}, tokens[t]));
        if (comment.status != 200 || read.status != 200 || square.status != 200) ++failures;
        if (t == 0) {  // the owner uploads meanwhile
          int n = round + 1;
          HttpRequest piece = Request("PUT", ingest, {{"cmd", "2"}, {"seg", std::to_string((n - 1) / 10 + 1)},
                                                      {"sec", std::to_string((n - 1) % 10 + 1)}});
          piece.headers["access-token"] = tokens[0];
          piece.body = testing::Piece(n % 10 == 1, n * 90000);
          if (backend.Handle(piece).status != 200) ++failures;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  HttpResponse meta = backend.Handle(Request("GET", "/api/video", {{"vid", vid}}, tokens[1]));
  EXPECT_EQ(Json(meta)["comment_counter"].AsInt(), kThreads * kRounds);
  std::string play = Json(meta)["play_url"].AsString();
  HttpResponse playlist = backend.Handle(Request("GET", play.substr(play.find("/hls/")) + ".m3u8", {}));
  size_t listed = 0;
  for (size_t at = playlist.body.find("#EXTINF"); at != std::string::npos; at = playlist.body.find("#EXTINF", at + 1)) ++listed;
  EXPECT_EQ(listed, static_cast<size_t>(kRounds));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace server
