// The HTTP(S) listener of selvo-server: turns HTTP requests into HttpRequest,
// hands them to one handler, and writes its HttpResponse back. The only code
// that knows the HTTP library.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "server/http_types.h"

namespace server {

struct FrontendOptions {
  std::string host = "127.0.0.1";
  int port = 8080;  // 0: any free port
  std::string tls_cert;  // PEM files; both given: HTTPS
  std::string tls_key;
  std::string public_url;  // stem of handed-out URLs; empty: from the Host header
  size_t max_body_bytes = 4 << 20;
  int threads = 64;  // connections served at once (a keep-alive connection holds one)
};

class HttpFrontend {
 public:
  using Handler = std::function<HttpResponse(const HttpRequest&)>;
  HttpFrontend(FrontendOptions options, Handler handler);
  ~HttpFrontend();

  // Binds the listening socket. False (and `error`) when that fails.
  bool Bind(std::string* error);
  // "http://127.0.0.1:PORT" (or https) of the bound socket.
  std::string Url() const;
  // Serves until Stop(); returns false when serving failed.
  bool Run();
  // Thread-safe; makes Run() return.
  void Stop();

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace server
