// ScriptedHttpTransport: the test double of the HTTP port. Install it as the
// client factory (FakePlatform does); every client it makes records its
// requests here, keeps at most `max_concurrent` of them running, and waits for
// the test to answer them. Answers are delivered through the main queue, so
// they arrive when the test runs the dispatcher, as real ones would.
//
//   transport.requests()[0].request.url ...
//   transport.Respond(0, platform::JsonResponse(200, R"({"_id": 1})"));
//   fake.dispatcher.RunUntilIdle();
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/http_client.h"

namespace platform {

class ScriptedHttpTransport final : public HttpClientFactory {
 public:
  enum class State { kWaiting, kRunning, kAnswered, kCancelled };

  struct Exchange {
    HttpRequest request;
    int client = 0;  // which client sent it, in order of creation from 0
    State state = State::kWaiting;
    HttpClient::Completion done;
  };

  ScriptedHttpTransport();
  ~ScriptedHttpTransport() override;

  std::unique_ptr<HttpClient> NewClient(const HttpClientOptions& options) override;

  // Every request sent so far, in order.
  std::vector<Exchange> requests() const;
  size_t size() const;
  const HttpRequest& request(size_t index) const;
  State state(size_t index) const;
  // Indexes of the requests in `state`.
  std::vector<size_t> InState(State state) const;

  // Answers running request `index` (false when it is not running). The
  // completion is queued on the main queue; the next waiting request of the
  // same client starts.
  bool Respond(size_t index, HttpResponse response);
  // Answers the oldest running request; false when none runs.
  bool RespondNext(HttpResponse response);

  // When set, every request is answered with what it returns as soon as it
  // starts (nullopt leaves it running for the test).
  using Responder = std::function<std::optional<HttpResponse>(const HttpRequest&)>;
  void SetResponder(Responder responder);

  class Client;

 private:
  friend class Client;
  void StartWaiting(int client);
  void QueueCompletion(size_t index, HttpResponse response);
  void AnswerLocked(size_t index, HttpResponse response, std::unique_lock<std::mutex>& lock);

  mutable std::mutex mutex_;
  std::vector<Exchange> exchanges_;
  std::map<int, int> max_concurrent_;
  int next_client_ = 0;
  Responder responder_;
};

// A response with a JSON body (Content-Type "application/json; charset=utf-8").
HttpResponse JsonResponse(int status, std::string body);
// No response at all: a transport error.
HttpResponse NoResponse(std::string error = "Could not connect to server");

// Splits a query string or form body into its decoded names and values, in order.
std::vector<std::pair<std::string, std::string>> DecodeForm(std::string_view text);
// The query part of a URL (after "?"), or empty.
std::string QueryOf(const std::string& url);
// The URL without its query.
std::string PathOf(const std::string& url);

}  // namespace platform
