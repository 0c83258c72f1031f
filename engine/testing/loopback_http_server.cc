#include "engine/testing/loopback_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <stdexcept>

namespace selvo::testing {

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool SendAll(int fd, const std::string& data) {
  for (size_t sent = 0; sent < data.size();) {
    const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

// Reads into `buffer` until it holds `size` bytes; false when the peer closed first.
bool ReadAtLeast(int fd, std::string& buffer, size_t size) {
  char chunk[65536];
  while (buffer.size() < size) {
    const ssize_t n = ::recv(fd, chunk, sizeof(chunk), 0);
    if (n <= 0) return false;
    buffer.append(chunk, static_cast<size_t>(n));
  }
  return true;
}

const char* Reason(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 401:
      return "Unauthorized";
    case 413:
      return "Payload Too Large";
    case 500:
      return "Internal Server Error";
    default:
      return "Status";
  }
}

}  // namespace

std::string HttpRequestRecord::Query(const std::string& name) const {
  const size_t question = target.find('?');
  if (question == std::string::npos) return "";
  size_t at = question + 1;
  while (at <= target.size()) {
    size_t end = target.find('&', at);
    if (end == std::string::npos) end = target.size();
    const std::string pair = target.substr(at, end - at);
    const size_t eq = pair.find('=');
    if (pair.substr(0, eq) == name) return eq == std::string::npos ? "" : pair.substr(eq + 1);
    at = end + 1;
  }
  return "";
}

LoopbackHttpServer::LoopbackHttpServer(Handler handler, std::string upstream)
    : handler_(std::move(handler)) {
  if (upstream.rfind("http://", 0) == 0) upstream = upstream.substr(7);
  if (!upstream.empty()) {
    const size_t colon = upstream.rfind(':');
    upstream_host_ = upstream.substr(0, colon);
    upstream_port_ = std::atoi(upstream.substr(colon + 1).c_str());
  }
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  if (listen_fd_ < 0 || ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(listen_fd_, 16) != 0 ||
      ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("cannot listen on 127.0.0.1");
  }
  port_ = ntohs(address.sin_port);
  accept_thread_ = std::thread([this] { AcceptLoop(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
  stopping_ = true;
  ::shutdown(listen_fd_, SHUT_RDWR);
  accept_thread_.join();
  ::close(listen_fd_);
  std::vector<std::thread> threads;
  {
    std::lock_guard lock(mutex_);
    for (int fd : open_fds_) ::shutdown(fd, SHUT_RDWR);
    changed_.notify_all();
    threads.swap(threads_);
  }
  for (auto& thread : threads) thread.join();
}

std::vector<HttpRequestRecord> LoopbackHttpServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::vector<int> LoopbackHttpServer::forwarded_statuses() const {
  std::lock_guard lock(mutex_);
  return forwarded_;
}

bool LoopbackHttpServer::WaitForRequests(size_t count) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::seconds(20),
                           [&] { return requests_.size() >= count; });
}

void LoopbackHttpServer::AcceptLoop() {
  for (;;) {
    const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (stopping_) return;
      continue;
    }
    std::lock_guard lock(mutex_);
    if (stopping_) {
      ::close(fd);
      return;
    }
    open_fds_.push_back(fd);
    threads_.emplace_back([this, fd] { Serve(fd); });
  }
}

void LoopbackHttpServer::Serve(int fd) {
  std::string buffer;
  for (;;) {
    size_t end;
    char chunk[65536];
    bool closed = false;
    while ((end = buffer.find("\r\n\r\n")) == std::string::npos) {
      const ssize_t n = ::recv(fd, chunk, sizeof(chunk), 0);
      if (n <= 0) {
        closed = true;
        break;
      }
      buffer.append(chunk, static_cast<size_t>(n));
    }
    if (closed) break;
    const std::string head = buffer.substr(0, end + 4);
    buffer.erase(0, end + 4);

    HttpRequestRecord request;
    size_t line_end = head.find("\r\n");
    const std::string request_line = head.substr(0, line_end);
    const size_t space = request_line.find(' ');
    request.method = request_line.substr(0, space);
    request.target = request_line.substr(space + 1, request_line.rfind(' ') - space - 1);
    for (size_t at = line_end + 2; at < head.size() - 2;) {
      const size_t next = head.find("\r\n", at);
      const std::string line = head.substr(at, next - at);
      const size_t colon = line.find(':');
      if (colon != std::string::npos) {
        request.headers[Lower(line.substr(0, colon))] = Trim(line.substr(colon + 1));
      }
      at = next + 2;
    }
    const size_t length = request.Has("content-length") && request.method != "HEAD"
                              ? std::strtoull(request.Header("content-length").c_str(), nullptr, 10)
                              : 0;
    if (!ReadAtLeast(fd, buffer, length)) break;
    request.body = buffer.substr(0, length);
    buffer.erase(0, length);
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
      changed_.notify_all();
    }

    const HttpAction action = handler_(request);
    if (action.kind == HttpAction::kDrop) break;
    if (action.kind == HttpAction::kHang) {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return stopping_.load(); });
      break;
    }
    if (action.kind == HttpAction::kForward) {
      Forward(fd, head, request);
      break;
    }
    std::string answer = "HTTP/1.1 " + std::to_string(action.status) + " " + Reason(action.status) +
                         "\r\nContent-Type: application/json\r\n";
    const std::string body = request.method == "HEAD" ? "" : action.body;
    answer += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    if (!SendAll(fd, answer)) break;
  }
  {
    std::lock_guard lock(mutex_);
    open_fds_.erase(std::remove(open_fds_.begin(), open_fds_.end(), fd), open_fds_.end());
  }
  ::close(fd);
}

bool LoopbackHttpServer::Forward(int client, const std::string& head,
                                 const HttpRequestRecord& request) {
  const int upstream = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(upstream_port_));
  ::inet_pton(AF_INET, upstream_host_ == "localhost" ? "127.0.0.1" : upstream_host_.c_str(),
              &address.sin_addr);
  if (upstream < 0 ||
      ::connect(upstream, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
    if (upstream >= 0) ::close(upstream);
    return false;
  }
  // One request per connection on both sides keeps the relay simple.
  std::string forwarded;
  for (size_t at = 0; at < head.size() - 2;) {
    const size_t next = head.find("\r\n", at);
    const std::string line = head.substr(at, next - at);
    if (Lower(line.substr(0, 11)) != "connection:") forwarded += line + "\r\n";
    at = next + 2;
  }
  forwarded += "Connection: close\r\n\r\n" + request.body;
  std::string answer;
  bool ok = SendAll(upstream, forwarded);
  if (ok) {
    char chunk[65536];
    ssize_t n;
    while ((n = ::recv(upstream, chunk, sizeof(chunk), 0)) > 0) {
      answer.append(chunk, static_cast<size_t>(n));
    }
  }
  ::close(upstream);
  int status = 0;
  if (answer.size() > 12) status = std::atoi(answer.substr(9, 3).c_str());
  {
    std::lock_guard lock(mutex_);
    forwarded_.push_back(status);
  }
  return ok && SendAll(client, answer);
}

}  // namespace selvo::testing
