// HttpClient: asynchronous HTTP requests for the application's service clients.
//
//  - A client runs at most `max_concurrent` requests at a time; the others wait
//    in the order they were sent.
//  - Completions run on the main queue of the default dispatcher.
//  - Cancel drops waiting and running requests by method and URL prefix; once it
//    has returned (on the main queue), no completion of those requests runs.
//  - TLS certificates are always verified; which authorities are trusted is the
//    factory's setting (platform/linux/curl_http_client.h).
//
// The Linux implementation drives libcurl's multi interface on a thread of its
// own; the test double (platform/testing/scripted_http.h) records the requests
// and lets the test answer them.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// One part of a multipart/form-data body: a plain field when `file_name` is empty.
struct HttpFormPart {
  std::string name;
  std::string data;
  std::string file_name;
  std::string content_type;
};

struct HttpRequest {
  std::string method = "GET";
  std::string url;
  // Sent in this order. An "Accept-Encoding" header asks for compressed answers,
  // which the client decodes before handing the body over.
  std::vector<std::pair<std::string, std::string>> headers;
  // The body as is (with a "Content-Type" header of the caller's).
  std::string body;
  // When not empty: a multipart/form-data body made of these parts instead.
  std::vector<HttpFormPart> form;

  // The value of a header (names compare without regard to case); empty when absent.
  std::string Header(std::string_view name) const;
};

struct HttpResponse {
  int status = 0;            // 0 when no answer arrived (see `error`)
  std::string content_type;  // the "Content-Type" of the answer
  std::string body;          // decoded when it came compressed
  std::string error;         // why there is no answer, when status is 0
};

class HttpClient {
 public:
  using Completion = std::function<void(const HttpResponse& response)>;

  virtual ~HttpClient() = default;

  // Queues `request`. `done` runs on the main queue with the answer, or with
  // status 0 and an error when none arrived, unless the request is cancelled first.
  virtual void Send(HttpRequest request, Completion done) = 0;

  // Cancels every waiting or running request whose URL begins with `url_prefix`
  // and, when `method` is given, whose method equals it. Returns how many.
  // Call it on the main queue.
  virtual size_t Cancel(std::optional<std::string_view> method, std::string_view url_prefix) = 0;

  // Requests sent and neither completed nor cancelled.
  virtual size_t pending() const = 0;
};

struct HttpClientOptions {
  int max_concurrent = 4;
};

class HttpClientFactory {
 public:
  virtual ~HttpClientFactory() = default;
  virtual std::unique_ptr<HttpClient> NewClient(const HttpClientOptions& options) = 0;
};

// The factory of the process: libcurl trusting the system's authorities unless
// another was installed (nullptr restores that one).
HttpClientFactory& DefaultHttpClientFactory();
void SetDefaultHttpClientFactory(HttpClientFactory* factory);

// Whether `url` begins with `prefix` and `method` matches (any when not given):
// the rule Cancel applies.
bool HttpRequestMatches(const HttpRequest& request, std::optional<std::string_view> method,
                        std::string_view url_prefix);

}  // namespace platform
