// A small blocking HTTP(S) client for tests and tools that talk to
// selvo-server: form requests as the service clients send them, multipart
// uploads, raw requests for the ingest protocol. One client per thread; it
// keeps its connection open between requests.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/value.h"

namespace server_testing {

// Parameters in order; a key may repeat ("internal[]").
using Form = std::vector<std::pair<std::string, std::string>>;

// Form encoding as the application's clients do it: keys as they are, values
// percent-escaped.
std::string FormEncode(const Form& form);

struct HttpAnswer {
  long status = 0;  // 0 when the transfer failed
  std::string content_type;
  std::string body;
  platform::Value json;  // the parsed body when it is JSON
  std::string error;     // the transfer error, if any
};

class HttpClient {
 public:
  // `base_url` like "http://127.0.0.1:8080"; `ca_file` trusts a self-signed
  // server (certificates are always verified).
  explicit HttpClient(std::string base_url, std::string ca_file = "");
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  void set_token(std::string token) { token_ = std::move(token); }  // "X-Access-Token"
  const std::string& base_url() const { return base_url_; }

  // GET and DELETE send the form in the query; POST as the body.
  HttpAnswer Get(const std::string& path, const Form& form = {});
  HttpAnswer Post(const std::string& path, const Form& form = {});
  HttpAnswer Delete(const std::string& path, const Form& form = {});
  // multipart/form-data: text fields, then one file part.
  HttpAnswer PostFile(const std::string& path, const Form& fields, const std::string& part_name,
                      const std::string& filename, const std::string& content_type,
                      const std::string& content);
  // Any method on a full URL or a path, with a raw body and extra headers
  // ("Name: value"). "HEAD" sends no body.
  HttpAnswer Send(const std::string& method, const std::string& url_or_path,
                  const std::string& body, const std::vector<std::string>& headers);

 private:
  HttpAnswer Perform(const std::string& method, const std::string& url, const std::string* body,
                     const std::vector<std::string>& headers, void* mime);

  std::string base_url_;
  std::string ca_file_;
  std::string token_;
  void* curl_;
};

// A signed-up user.
struct Account {
  int64_t uid = 0;
  std::string token;
  std::string identity;
  std::string password;
};

// Registers an e-mail user (POST /api/auth/register, signed); throws
// std::runtime_error on failure.
Account RegisterEmailUser(HttpClient& client, const std::string& email,
                          const std::string& password, const std::string& screen_name);

// Publishes a video as `account`; returns the publish answer.
platform::Value PublishVideo(HttpClient& client, const Account& account, const Form& extra = {});

// The anonymous application identity for /webapi/ requests.
Form AppIdentity(const std::string& installation_id = "5C4B3A29-1D0E-4F6A-8B7C-9D0E1F2A3B4C");

}  // namespace server_testing
