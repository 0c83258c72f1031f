// ServiceHTTPClient: the common base of the four service clients. It resolves
// paths against the service's base URL, copies its default headers into every
// request, encodes parameters (query string for GET and DELETE, form body for
// POST), runs at most four requests at a time, and hands the answer's JSON to
// `success` or the error body's JSON (null without one) to `failure`, both on
// the main queue. A cancelled request calls neither.
//
// A response succeeds when its status is 2xx, its content type is JSON
// ("application/json", "text/json" or "text/javascript") and its body parses.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/http_client.h"
#include "platform/value.h"

namespace service {

class ServiceHTTPClient {
 public:
  using Success = std::function<void(const platform::Value& json)>;
  // `error` is the error body's JSON, or null when there was no JSON body.
  using Failure = std::function<void(const platform::Value& error)>;

  static constexpr int kMaxConcurrentRequests = 4;

  // A client of `base_url` on a transport from the default HTTP client factory.
  explicit ServiceHTTPClient(std::string base_url);
  virtual ~ServiceHTTPClient();
  ServiceHTTPClient(const ServiceHTTPClient&) = delete;
  ServiceHTTPClient& operator=(const ServiceHTTPClient&) = delete;

  // `parameters` is a dictionary (or null for none).
  void Get(const std::string& path, const platform::Value& parameters, Success success,
           Failure failure);
  void Post(const std::string& path, const platform::Value& parameters, Success success,
            Failure failure);
  void Delete(const std::string& path, const platform::Value& parameters, Success success,
              Failure failure);
  // A multipart/form-data POST of `parts`.
  void PostMultipart(const std::string& path, std::vector<platform::HttpFormPart> parts,
                     Success success, Failure failure);

  // Cancels the pending requests whose URL begins with the URL of `path` (so
  // whatever their query) and, when `method` is given, whose method equals it.
  size_t CancelAllHTTPOperations(std::optional<std::string_view> method, const std::string& path);

  // The request as it would be sent (for the clients' own use and for tests).
  platform::HttpRequest RequestWithMethod(const std::string& method, const std::string& path,
                                          const platform::Value& parameters) const;
  // `path` resolved against the base URL.
  std::string UrlForPath(const std::string& path) const;

  // Default headers, copied into requests when they are built; nullopt removes one.
  void SetDefaultHeader(const std::string& name, std::optional<std::string> value);
  std::optional<std::string> DefaultHeader(const std::string& name) const;

  // The "X-Access-Token" header: absent until the first token, empty after logout.
  void SetAccessTokenHeader(std::optional<std::string> token);
  std::optional<std::string> AccessTokenHeader() const;
  // Whether a non-empty access token is installed.
  bool HasAccessToken() const;
  // Sets "User-Agent" to the application's user agent.
  void SetApplicationUserAgent();

  const std::string& base_url() const { return base_url_; }
  void set_base_url(std::string url) { base_url_ = std::move(url); }
  size_t pending() const { return http_->pending(); }

  // The base URL the shared clients are created with (and switched to).
  static void SetServiceBaseUrl(std::string url);
  static std::string ServiceBaseUrl();

  // Drops the four shared clients (and re-arms the invalid-token alert): each
  // test starts afresh, and an executable lets go of them before the
  // transport they were built on goes away. The next use makes new ones.
  static void ResetSharedClients();

 protected:
  void Enqueue(platform::HttpRequest request, Success success, Failure failure);

 private:
  std::string base_url_;
  std::vector<std::pair<std::string, std::string>> headers_;
  std::unique_ptr<platform::HttpClient> http_;
};

// Parameters as a dictionary built in place:
//   Params().Add("vid", vid).AddIf("before", before)
class Params {
 public:
  Params& Add(std::string key, platform::Value value) {
    value_.Set(std::move(key), std::move(value));
    return *this;
  }
  template <typename T>
  Params& AddIf(std::string key, const std::optional<T>& value) {
    if (value) value_.Set(std::move(key), platform::Value(*value));
    return *this;
  }
  Params& AddArrayIf(std::string key, const std::optional<std::vector<std::string>>& values);
  operator const platform::Value&() const { return value_; }
  const platform::Value& value() const { return value_; }

 private:
  platform::Value value_{platform::Value::Dictionary{}};
};

}  // namespace service
