#include "platform/testing/scripted_http.h"

#include <algorithm>

#include "platform/dispatch.h"

namespace platform {

class ScriptedHttpTransport::Client final : public HttpClient {
 public:
  Client(ScriptedHttpTransport* transport, int id) : transport_(transport), id_(id) {}

  void Send(HttpRequest request, Completion done) override {
    {
      std::lock_guard lock(transport_->mutex_);
      Exchange e;
      e.request = std::move(request);
      e.client = id_;
      e.done = std::move(done);
      transport_->exchanges_.push_back(std::move(e));
    }
    transport_->StartWaiting(id_);
  }

  size_t Cancel(std::optional<std::string_view> method, std::string_view url_prefix) override {
    size_t count = 0;
    {
      std::lock_guard lock(transport_->mutex_);
      for (Exchange& e : transport_->exchanges_) {
        if (e.client != id_) continue;
        // An answer not delivered yet is cancelled too, as with the real client.
        const bool undelivered = e.state == State::kAnswered && e.done;
        if (e.state != State::kWaiting && e.state != State::kRunning && !undelivered) continue;
        if (!HttpRequestMatches(e.request, method, url_prefix)) continue;
        e.state = State::kCancelled;
        e.done = nullptr;
        ++count;
      }
    }
    transport_->StartWaiting(id_);
    return count;
  }

  size_t pending() const override {
    std::lock_guard lock(transport_->mutex_);
    size_t count = 0;
    for (const Exchange& e : transport_->exchanges_) {
      if (e.client == id_ && (e.state == State::kWaiting || e.state == State::kRunning)) ++count;
    }
    return count;
  }

 private:
  ScriptedHttpTransport* transport_;
  int id_;
};

ScriptedHttpTransport::ScriptedHttpTransport() = default;
ScriptedHttpTransport::~ScriptedHttpTransport() = default;

std::unique_ptr<HttpClient> ScriptedHttpTransport::NewClient(const HttpClientOptions& options) {
  std::lock_guard lock(mutex_);
  const int id = next_client_++;
  max_concurrent_[id] = options.max_concurrent;
  return std::make_unique<Client>(this, id);
}

void ScriptedHttpTransport::StartWaiting(int client) {
  std::unique_lock lock(mutex_);
  for (;;) {
    int running = 0;
    std::optional<size_t> next;
    for (size_t i = 0; i < exchanges_.size(); ++i) {
      const Exchange& e = exchanges_[i];
      if (e.client != client) continue;
      if (e.state == State::kRunning) ++running;
      if (e.state == State::kWaiting && !next) next = i;
    }
    if (!next || running >= max_concurrent_[client]) return;
    exchanges_[*next].state = State::kRunning;
    if (responder_) {
      HttpRequest copy = exchanges_[*next].request;
      Responder responder = responder_;
      lock.unlock();
      std::optional<HttpResponse> answer = responder(copy);
      lock.lock();
      if (answer && exchanges_[*next].state == State::kRunning) {
        exchanges_[*next].state = State::kAnswered;
        QueueCompletion(*next, std::move(*answer));
      }
    }
  }
}

void ScriptedHttpTransport::AnswerLocked(size_t index, HttpResponse response,
                                         std::unique_lock<std::mutex>& lock) {
  Exchange& e = exchanges_[index];
  e.state = State::kAnswered;
  const int client = e.client;
  QueueCompletion(index, std::move(response));
  lock.unlock();
  StartWaiting(client);
}

void ScriptedHttpTransport::QueueCompletion(size_t index, HttpResponse response) {
  // The completion is taken on the main queue, so a Cancel between now and
  // then still suppresses it, as with the real client.
  MainQueue().Async([this, index, response = std::move(response)] {
    HttpClient::Completion done;
    {
      std::lock_guard inner(mutex_);
      done = std::move(exchanges_[index].done);
      exchanges_[index].done = nullptr;
    }
    if (done) done(response);
  });
}

bool ScriptedHttpTransport::Respond(size_t index, HttpResponse response) {
  std::unique_lock lock(mutex_);
  if (index >= exchanges_.size() || exchanges_[index].state != State::kRunning) return false;
  AnswerLocked(index, std::move(response), lock);
  return true;
}

bool ScriptedHttpTransport::RespondNext(HttpResponse response) {
  std::unique_lock lock(mutex_);
  for (size_t i = 0; i < exchanges_.size(); ++i) {
    if (exchanges_[i].state == State::kRunning) {
      AnswerLocked(i, std::move(response), lock);
      return true;
    }
  }
  return false;
}

void ScriptedHttpTransport::SetResponder(Responder responder) {
  std::lock_guard lock(mutex_);
  responder_ = std::move(responder);
}

std::vector<ScriptedHttpTransport::Exchange> ScriptedHttpTransport::requests() const {
  std::lock_guard lock(mutex_);
  return exchanges_;
}

size_t ScriptedHttpTransport::size() const {
  std::lock_guard lock(mutex_);
  return exchanges_.size();
}

const HttpRequest& ScriptedHttpTransport::request(size_t index) const {
  std::lock_guard lock(mutex_);
  return exchanges_.at(index).request;
}

ScriptedHttpTransport::State ScriptedHttpTransport::state(size_t index) const {
  std::lock_guard lock(mutex_);
  return exchanges_.at(index).state;
}

std::vector<size_t> ScriptedHttpTransport::InState(State state) const {
  std::lock_guard lock(mutex_);
  std::vector<size_t> result;
  for (size_t i = 0; i < exchanges_.size(); ++i) {
    if (exchanges_[i].state == state) result.push_back(i);
  }
  return result;
}

HttpResponse JsonResponse(int status, std::string body) {
  HttpResponse r;
  r.status = status;
  r.content_type = "application/json; charset=utf-8";
  r.body = std::move(body);
  return r;
}

HttpResponse NoResponse(std::string error) {
  HttpResponse r;
  r.error = std::move(error);
  return r;
}

namespace {

std::string Unescape(std::string_view text) {
  auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() + 0 && hex(text[i + 1]) >= 0 &&
        hex(text[i + 2]) >= 0) {
      out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
      i += 2;
    } else if (text[i] == '+') {
      out += ' ';
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> DecodeForm(std::string_view text) {
  std::vector<std::pair<std::string, std::string>> result;
  while (!text.empty()) {
    size_t amp = text.find('&');
    std::string_view part = text.substr(0, amp);
    size_t eq = part.find('=');
    if (!part.empty()) {
      result.emplace_back(Unescape(part.substr(0, eq)),
                          eq == std::string_view::npos ? "" : Unescape(part.substr(eq + 1)));
    }
    if (amp == std::string_view::npos) break;
    text.remove_prefix(amp + 1);
  }
  return result;
}

std::string QueryOf(const std::string& url) {
  size_t q = url.find('?');
  return q == std::string::npos ? "" : url.substr(q + 1);
}

std::string PathOf(const std::string& url) { return url.substr(0, url.find('?')); }

}  // namespace platform
