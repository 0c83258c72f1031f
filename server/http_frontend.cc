#include "server/http_frontend.h"

#include <httplib.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>

namespace server {
namespace {

// Gives access to the listening socket, whose backlog the library sets too
// short for hundreds of clients connecting at once.
template <class Base>
class Listener : public Base {
 public:
  using Base::Base;
  void WidenBacklog() { ::listen(this->svr_sock_, 1024); }
};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string DecodeFormText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() &&
               HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
      out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// application/x-www-form-urlencoded into `params`.
void ParseForm(std::string_view body, std::multimap<std::string, std::string>& params) {
  while (!body.empty()) {
    size_t amp = body.find('&');
    std::string_view pair = body.substr(0, amp);
    body = amp == std::string_view::npos ? std::string_view() : body.substr(amp + 1);
    if (pair.empty()) continue;
    size_t eq = pair.find('=');
    std::string key = DecodeFormText(pair.substr(0, eq));
    std::string value = eq == std::string_view::npos ? "" : DecodeFormText(pair.substr(eq + 1));
    params.emplace(std::move(key), std::move(value));
  }
}

bool IsHostText(const std::string& host) {
  if (host.empty() || host.size() > 255) return false;
  return std::all_of(host.begin(), host.end(), [](unsigned char c) {
    return std::isalnum(c) || c == '.' || c == '-' || c == ':' || c == '[' || c == ']';
  });
}

std::string UrlHost(const std::string& host) {
  return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

}  // namespace

class HttpFrontend::Impl {
 public:
  Impl(FrontendOptions options, Handler handler)
      : options_(std::move(options)), handler_(std::move(handler)) {
    bool tls = !options_.tls_cert.empty() || !options_.tls_key.empty();
    if (tls) {
      auto server = std::make_unique<Listener<httplib::SSLServer>>(options_.tls_cert.c_str(),
                                                                   options_.tls_key.c_str());
      widen_ = [s = server.get()] { s->WidenBacklog(); };
      server_ = std::move(server);
    } else {
      auto server = std::make_unique<Listener<httplib::Server>>();
      widen_ = [s = server.get()] { s->WidenBacklog(); };
      server_ = std::move(server);
    }
    scheme_ = tls ? "https" : "http";
    int threads = std::max(1, options_.threads);
    server_->new_task_queue = [threads] { return new httplib::ThreadPool(static_cast<size_t>(threads)); };
    server_->set_payload_max_length(options_.max_body_bytes);
    server_->set_keep_alive_max_count(10000);
    server_->set_keep_alive_timeout(10);
    server_->set_read_timeout(10);
    server_->set_write_timeout(10);
    server_->set_tcp_nodelay(true);

    auto plain = [this](const httplib::Request& req, httplib::Response& res) {
      HttpRequest request = Convert(req);
      Respond(request, res);
    };
    auto with_body = [this](const httplib::Request& req, httplib::Response& res,
                            const httplib::ContentReader& reader) {
      HttpRequest request = Convert(req);
      size_t limit = options_.max_body_bytes;
      bool too_large = false;
      bool read = false;
      if (req.is_multipart_form_data()) {
        std::string current;
        size_t total = 0;
        read = reader(
            [&](const httplib::MultipartFormData& part) {
              current = part.name;
              request.parts.emplace(part.name, FormPart{"", part.filename, part.content_type});
              return true;
            },
            [&](const char* data, size_t length) {
              total += length;
              if (total > limit) {
                too_large = true;
                return false;
              }
              auto range = request.parts.equal_range(current);
              if (range.first != range.second) std::prev(range.second)->second.content.append(data, length);
              return true;
            });
        // Text fields of the form count as parameters too.
        for (const auto& [name, part] : request.parts) {
          if (part.filename.empty()) request.params.emplace(name, part.content);
        }
      } else {
        read = reader([&](const char* data, size_t length) {
          if (request.body.size() + length > limit) {
            too_large = true;
            return false;
          }
          request.body.append(data, length);
          return true;
        });
        if (req.get_header_value("Content-Type").starts_with("application/x-www-form-urlencoded")) {
          ParseForm(request.body, request.params);
        }
      }
      if (too_large || req.get_header_value<uint64_t>("Content-Length") > limit) {
        Write(ErrorResponse(413, "the body is larger than " + std::to_string(limit) + " bytes"), res);
        return;
      }
      if (!read) {
        Write(ErrorResponse(400, "the body could not be read"), res);
        return;
      }
      Respond(request, res);
    };
    server_->Get(".*", plain);
    server_->Post(".*", with_body);
    server_->Put(".*", with_body);
    server_->Delete(".*", with_body);
    server_->Patch(".*", with_body);
    // Answers the library gives by itself (unknown method, body too large...) as JSON too.
    server_->set_error_handler(httplib::Server::HandlerWithResponse(
        [](const httplib::Request&, httplib::Response& res) {
      if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
      std::string msg = res.status == 413   ? "the body is too large"
                        : res.status == 414 ? "the request line is too long"
                        : res.status == 404 ? "not found"
                                            : "the request was refused";
      Write(ErrorResponse(res.status, msg), res);
      return httplib::Server::HandlerResponse::Handled;
    }));
    server_->set_exception_handler([](const httplib::Request&, httplib::Response& res,
                                      std::exception_ptr) {
      Write(ErrorResponse(500, "internal error"), res);
    });
  }

  bool Bind(std::string* error) {
    if (!server_->is_valid()) {
      *error = "cannot load the TLS certificate or key";
      return false;
    }
    if (options_.port == 0) {
      port_ = server_->bind_to_any_port(options_.host);
    } else {
      port_ = server_->bind_to_port(options_.host, options_.port) ? options_.port : -1;
    }
    if (port_ <= 0) {
      *error = "cannot listen on " + options_.host + ":" + std::to_string(options_.port);
      return false;
    }
    widen_();
    return true;
  }

  std::string Url() const {
    return scheme_ + "://" + UrlHost(options_.host) + ":" + std::to_string(port_);
  }

  bool Run() { return server_->listen_after_bind(); }
  void Stop() { server_->stop(); }

 private:
  HttpRequest Convert(const httplib::Request& req) const {
    HttpRequest request;
    request.method = req.method;
    request.path = req.path;
    request.params = req.params;
    for (const auto& [name, value] : req.headers) {
      std::string lower = name;
      std::transform(lower.begin(), lower.end(), lower.begin(),
                     [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
      request.headers.emplace(std::move(lower), value);
    }
    if (!options_.public_url.empty()) {
      request.base_url = options_.public_url;
    } else {
      std::string host = req.get_header_value("Host");
      request.base_url = IsHostText(host) ? scheme_ + "://" + host : Url();
    }
    return request;
  }

  static void Write(const HttpResponse& response, httplib::Response& res) {
    res.status = response.status;
    for (const auto& [name, value] : response.headers) res.set_header(name, value);
    res.set_content(response.body, response.content_type.c_str());
  }

  void Respond(const HttpRequest& request, httplib::Response& res) {
    Write(handler_(request), res);
  }

  FrontendOptions options_;
  Handler handler_;
  std::unique_ptr<httplib::Server> server_;
  std::function<void()> widen_;
  std::string scheme_;
  int port_ = -1;
};

HttpFrontend::HttpFrontend(FrontendOptions options, Handler handler)
    : impl_(std::make_unique<Impl>(std::move(options), std::move(handler))) {}
HttpFrontend::~HttpFrontend() = default;
bool HttpFrontend::Bind(std::string* error) { return impl_->Bind(error); }
std::string HttpFrontend::Url() const { return impl_->Url(); }
bool HttpFrontend::Run() { return impl_->Run(); }
void HttpFrontend::Stop() { impl_->Stop(); }

}  // namespace server
