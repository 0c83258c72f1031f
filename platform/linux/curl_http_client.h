// HttpClient on libcurl's multi interface. Each client owns one thread that
// drives its transfers; at most `max_concurrent` run at once, the others wait.
//
// Certificates are always verified (peer and host name). `ca_file`, when set,
// replaces the system's authorities with those in that PEM file, for a service
// with a certificate of its own authority.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/http_client.h"

namespace platform {

struct CurlSettings {
  std::string ca_file;  // empty: the system's authorities
  Duration connect_timeout = std::chrono::seconds(30);
  Duration stall_timeout = std::chrono::seconds(60);  // no byte moved for this long
  // A larger answer (after decoding) is dropped: a broken or hostile server must not be
  // able to make the application hold an unbounded body.
  size_t max_response_bytes = size_t{64} << 20;
};

class CurlHttpClient final : public HttpClient {
 public:
  CurlHttpClient(CurlSettings settings, HttpClientOptions options);
  ~CurlHttpClient() override;  // drops whatever still waits or runs

  void Send(HttpRequest request, Completion done) override;
  size_t Cancel(std::optional<std::string_view> method, std::string_view url_prefix) override;
  size_t pending() const override;

  struct Job;

 private:
  // A finished request whose completion waits on the main queue.
  struct Delivery {
    HttpRequest request;
    Completion done;
    std::shared_ptr<std::atomic<bool>> cancelled;
  };
  // Cleared when the client is destroyed, so that queued completions drop out.
  struct Alive {
    std::mutex mutex;
    bool alive = true;
  };

  void Loop();
  void StartJob(const std::shared_ptr<Job>& job);
  void FinishJob(Job* job, int curl_code);

  const CurlSettings settings_;
  const HttpClientOptions options_;
  void* multi_ = nullptr;  // CURLM*, touched only by the loop thread (and wakeup)

  mutable std::mutex mutex_;
  bool stopping_ = false;
  std::deque<std::shared_ptr<Job>> waiting_;
  std::vector<std::shared_ptr<Job>> running_;  // owned by the loop; counted under mutex_
  std::vector<std::shared_ptr<Job>> cancelled_running_;
  std::vector<std::shared_ptr<Delivery>> delivering_;
  std::shared_ptr<Alive> alive_ = std::make_shared<Alive>();
  std::thread thread_;
};

class CurlHttpClientFactory final : public HttpClientFactory {
 public:
  explicit CurlHttpClientFactory(CurlSettings settings) : settings_(std::move(settings)) {}
  std::unique_ptr<HttpClient> NewClient(const HttpClientOptions& options) override {
    return std::make_unique<CurlHttpClient>(settings_, options);
  }
  const CurlSettings& settings() const { return settings_; }

 private:
  CurlSettings settings_;
};

}  // namespace platform
