// Test helper: a small HTTP/1.1 server on 127.0.0.1 that records every request and
// answers as the test says: with a status, by dropping the connection, by never
// answering, or by passing the request on to another server (a fault-injecting proxy in
// front of selvo-server).
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace selvo::testing {

struct HttpRequestRecord {
  std::string method;
  std::string target;                          // path and query
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;

  bool Has(const std::string& name) const { return headers.count(name) > 0; }
  std::string Header(const std::string& name) const {
    auto it = headers.find(name);
    return it == headers.end() ? std::string() : it->second;
  }
  // The value of query parameter `name`, or "".
  std::string Query(const std::string& name) const;
};

struct HttpAction {
  enum Kind {
    kAnswer,   // `status` with `body`
    kDrop,     // close the connection without an answer
    kHang,     // keep the connection open and never answer
    kForward,  // pass the request to the upstream server and relay its answer
  };
  HttpAction(Kind kind_ = kAnswer, int status_ = 200, std::string body_ = {})
      : kind(kind_), status(status_), body(std::move(body_)) {}

  Kind kind;
  int status;
  std::string body;
};

class LoopbackHttpServer {
 public:
  using Handler = std::function<HttpAction(const HttpRequestRecord& request)>;

  // `upstream` ("127.0.0.1:PORT" or an http:// URL) receives forwarded requests.
  explicit LoopbackHttpServer(Handler handler, std::string upstream = "");
  // Closes every connection (hanging ones too) and waits for its threads.
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }
  int port() const { return port_; }
  std::vector<HttpRequestRecord> requests() const;
  // Statuses relayed from the upstream server, one per forwarded request.
  std::vector<int> forwarded_statuses() const;
  // Blocks until `count` requests have arrived (false after 20 s).
  bool WaitForRequests(size_t count) const;

 private:
  void AcceptLoop();
  void Serve(int fd);
  bool Forward(int client, const std::string& head, const HttpRequestRecord& request);

  Handler handler_;
  std::string upstream_host_;
  int upstream_port_ = 0;
  int listen_fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<HttpRequestRecord> requests_;
  std::vector<int> forwarded_;
  std::vector<int> open_fds_;
  std::vector<std::thread> threads_;
  std::thread accept_thread_;
};

}  // namespace selvo::testing
