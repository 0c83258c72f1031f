// The libcurl client against a small HTTP server on loopback.
#include "platform/linux/curl_http_client.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "platform/linux/linux_dispatcher.h"

namespace platform {
namespace {

using std::chrono::seconds;

struct Seen {
  std::string method, target, body;
  std::map<std::string, std::string> headers;  // lower-case names
};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Gzip(const std::string& data) {
  z_stream z{};
  deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, data.size()) + 32, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// One connection per request ("Connection: close"); "/slow..." answers only
// once Release() was called.
class LoopbackServer {
 public:
  LoopbackServer() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd_, 64);
    socklen_t len = sizeof a;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    acceptor_ = std::thread([this] { Accept(); });
  }
  ~LoopbackServer() {
    Release();
    ::shutdown(fd_, SHUT_RDWR);
    ::close(fd_);
    acceptor_.join();
    for (auto& t : workers_) t.join();
  }

  std::string url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  void Release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    cv_.notify_all();
  }
  bool WaitForInFlight(int n) {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, seconds(10), [&] { return in_flight_ >= n; });
  }
  int max_in_flight() {
    std::lock_guard lock(mutex_);
    return max_in_flight_;
  }
  std::vector<Seen> seen() {
    std::lock_guard lock(mutex_);
    return seen_;
  }

 private:
  void Accept() {
    for (;;) {
      int c = ::accept(fd_, nullptr, nullptr);
      if (c < 0) return;
      std::lock_guard lock(mutex_);
      workers_.emplace_back([this, c] { Serve(c); });
    }
  }

  void Serve(int c) {
    std::string data;
    char buf[4096];
    size_t header_end;
    while ((header_end = data.find("\r\n\r\n")) == std::string::npos) {
      ssize_t n = ::read(c, buf, sizeof buf);
      if (n <= 0) return (void)::close(c);
      data.append(buf, static_cast<size_t>(n));
    }
    Seen s;
    std::string head = data.substr(0, header_end);
    size_t line_end = head.find("\r\n");
    std::string first = head.substr(0, line_end);
    s.method = first.substr(0, first.find(' '));
    s.target = first.substr(s.method.size() + 1, first.rfind(' ') - s.method.size() - 1);
    for (size_t pos = line_end + 2; pos < head.size();) {
      size_t end = head.find("\r\n", pos);
      if (end == std::string::npos) end = head.size();
      std::string line = head.substr(pos, end - pos);
      size_t colon = line.find(':');
      if (colon != std::string::npos) {
        s.headers[Lower(line.substr(0, colon))] =
            line.substr(line.find_first_not_of(' ', colon + 1));
      }
      pos = end + 2;
    }
    size_t length = s.headers.count("content-length") ? std::stoul(s.headers["content-length"]) : 0;
    s.body = data.substr(header_end + 4);
    while (s.body.size() < length) {
      ssize_t n = ::read(c, buf, sizeof buf);
      if (n <= 0) break;
      s.body.append(buf, static_cast<size_t>(n));
    }
    std::string extra, body = "{\"ok\":true}";
    {
      std::unique_lock lock(mutex_);
      seen_.push_back(s);
      ++in_flight_;
      max_in_flight_ = std::max(max_in_flight_, in_flight_);
      cv_.notify_all();
      if (s.target.rfind("/slow", 0) == 0) cv_.wait(lock, [&] { return released_; });
      --in_flight_;
    }
    if (s.target == "/gzip") {
      body = Gzip("{\"compressed\":\"" + std::string(2000, 'z') + "\"}");
      extra = "Content-Encoding: gzip\r\n";
    }
    std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n" + extra +
                        "Content-Length: " + std::to_string(body.size()) +
                        "\r\nConnection: close\r\n\r\n" + body;
    (void)!::write(c, reply.data(), reply.size());
    ::close(c);
  }

  int fd_;
  int port_;
  std::thread acceptor_;
  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable cv_;
  bool released_ = false;
  int in_flight_ = 0;
  int max_in_flight_ = 0;
  std::vector<Seen> seen_;
};

// A loopback port nothing listens on.
int ClosedPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

class CurlHttpClientTest : public ::testing::Test {
 protected:
  CurlHttpClientTest() { SetDefaultDispatcher(&dispatcher_); }
  ~CurlHttpClientTest() override { SetDefaultDispatcher(nullptr); }

  bool RunUntil(const std::function<bool()>& done) {
    return dispatcher_.RunMainLoopUntil(done, seconds(20));
  }
  // Runs the main queue a little while, for what must not arrive.
  void RunBriefly() {
    dispatcher_.RunMainLoopUntil([] { return false; }, std::chrono::milliseconds(200));
  }

  LinuxDispatcher dispatcher_{2};
  LoopbackServer server_;
};

TEST_F(CurlHttpClientTest, MethodsBodiesMultipartAndGzip) {
  CurlHttpClient client(CurlSettings{}, {});
  std::vector<HttpResponse> answers(4);
  int done = 0;
  auto keep = [&](int i) {
    return [&, i](const HttpResponse& r) {
      answers[i] = r;
      ++done;
    };
  };
  HttpRequest get;
  get.url = server_.url("/gzip");
  get.headers = {{"Accept", "application/json"}, {"Accept-Encoding", "gzip"}};
  client.Send(get, keep(0));
  HttpRequest post;
  post.method = "POST";
  post.url = server_.url("/post");
  post.headers = {{"Content-Type", "application/x-www-form-urlencoded; charset=utf-8"}};
  post.body = "a=1&b=%20";
  client.Send(post, keep(1));
  HttpRequest del;
  del.method = "DELETE";
  del.url = server_.url("/thing?vid=3");
  client.Send(del, keep(2));
  HttpRequest upload;
  upload.method = "POST";
  upload.url = server_.url("/upload");
  upload.form = {{"desc", "avatar", "", ""},
                 {"payload", std::string("\xff\xd8jpeg", 6), "jpg", "image/jpeg"}};
  client.Send(upload, keep(3));
  ASSERT_TRUE(RunUntil([&] { return done == 4; }));

  EXPECT_EQ(answers[0].status, 200);
  EXPECT_EQ(answers[0].body, "{\"compressed\":\"" + std::string(2000, 'z') + "\"}");
  EXPECT_EQ(answers[0].content_type, "application/json");
  std::map<std::string, Seen> by_target;
  for (const Seen& s : server_.seen()) by_target[s.target] = s;
  EXPECT_EQ(by_target["/gzip"].headers["accept-encoding"], "gzip");
  EXPECT_EQ(by_target["/post"].method, "POST");
  EXPECT_EQ(by_target["/post"].body, "a=1&b=%20");
  EXPECT_EQ(by_target["/thing?vid=3"].method, "DELETE");
  Seen& up = by_target["/upload"];
  EXPECT_EQ(up.headers["content-type"].rfind("multipart/form-data; boundary=", 0), 0u);
  EXPECT_NE(up.body.find("name=\"desc\"\r\n\r\navatar\r\n"), std::string::npos);
  EXPECT_NE(up.body.find("name=\"payload\"; filename=\"jpg\"\r\nContent-Type: image/jpeg"),
            std::string::npos);
}

TEST_F(CurlHttpClientTest, AtMostFourAtATimeAndCancelledOnesStaySilent) {
  CurlHttpClient client(CurlSettings{}, {});
  int done = 0, cancelled_calls = 0;
  for (int i = 0; i < 6; ++i) {
    HttpRequest r;
    r.url = server_.url("/slow/" + std::to_string(i));
    client.Send(r, [&](const HttpResponse& resp) {
      EXPECT_EQ(resp.status, 200);
      ++done;
    });
  }
  HttpRequest other;
  other.url = server_.url("/slowcancel?x=1");
  client.Send(other, [&](const HttpResponse&) { ++cancelled_calls; });
  ASSERT_TRUE(server_.WaitForInFlight(4));
  EXPECT_EQ(client.pending(), 7u);
  EXPECT_EQ(client.Cancel("GET", server_.url("/slowcancel")), 1u);
  server_.Release();
  ASSERT_TRUE(RunUntil([&] { return done == 6; }));
  RunBriefly();  // nothing else may arrive
  EXPECT_EQ(server_.max_in_flight(), 4);
  EXPECT_EQ(cancelled_calls, 0);
  EXPECT_EQ(client.pending(), 0u);
}

TEST_F(CurlHttpClientTest, NoAnswerGivesStatusZeroWithAReason) {
  CurlHttpClient client(CurlSettings{}, {});
  HttpResponse answer;
  bool done = false;
  HttpRequest r;
  r.url = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/";
  client.Send(r, [&](const HttpResponse& resp) {
    answer = resp;
    done = true;
  });
  ASSERT_TRUE(RunUntil([&] { return done; }));
  EXPECT_EQ(answer.status, 0);
  EXPECT_FALSE(answer.error.empty());

  done = false;
  r.url = "file:///etc/passwd";  // only http and https are spoken
  client.Send(r, [&](const HttpResponse& resp) {
    answer = resp;
    done = true;
  });
  ASSERT_TRUE(RunUntil([&] { return done; }));
  EXPECT_EQ(answer.status, 0);
  EXPECT_TRUE(answer.body.empty());
}

TEST_F(CurlHttpClientTest, AnAnswerOverTheSizeLimitIsDroppedWithAReason) {
  CurlSettings settings;
  settings.max_response_bytes = 1000;
  CurlHttpClient client(settings, {});
  std::map<std::string, HttpResponse> answers;
  // "/gzip" is small on the wire but over 2000 bytes once decoded: the limit holds for
  // what the caller would receive.
  for (const char* path : {"/", "/gzip"}) {
    HttpRequest r;
    r.url = server_.url(path);
    r.headers.emplace_back("Accept-Encoding", "gzip");
    client.Send(r, [&answers, path](const HttpResponse& resp) { answers[path] = resp; });
  }
  ASSERT_TRUE(RunUntil([&] { return answers.size() == 2; }));
  EXPECT_EQ(answers["/"].status, 200);
  EXPECT_EQ(answers["/"].body, "{\"ok\":true}");
  EXPECT_EQ(answers["/gzip"].status, 0);
  EXPECT_TRUE(answers["/gzip"].body.empty());
  EXPECT_EQ(answers["/gzip"].error, "the answer is larger than 1000 bytes");
}

}  // namespace
}  // namespace platform
