#include "service/service_http_client.h"

#include <strings.h>

#include <mutex>

#include "platform/environment.h"
#include "platform/json.h"
#include "service/client_environment.h"
#include "service/form_encoding.h"
#include "service/shared_clients.h"

namespace service {
namespace {

using platform::Value;

std::mutex g_base_url_mutex;
std::string& BaseUrlSlot() {
  static auto* url = new std::string("http://127.0.0.1:8080");
  return *url;
}

bool SameName(const std::string& a, const std::string& b) {
  return ::strcasecmp(a.c_str(), b.c_str()) == 0;
}

bool IsJsonContentType(const std::string& content_type) {
  std::string type = content_type.substr(0, content_type.find(';'));
  while (!type.empty() && type.back() == ' ') type.pop_back();
  for (const char* accepted : {"application/json", "text/json", "text/javascript"}) {
    if (::strcasecmp(type.c_str(), accepted) == 0) return true;
  }
  return false;
}

// "en_US" gives "en-us, en-us;q=0.8": the user's language first, English after.
std::string AcceptLanguage() {
  std::string locale = platform::DefaultEnvironment().LocaleIdentifier();
  for (char& c : locale) {
    c = c == '_' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return (locale.empty() ? "en" : locale) + ", en-us;q=0.8";
}

// The transport's own user agent, used until the application sets its own.
std::string HttpDefaultUserAgent() {
  platform::Environment& env = platform::DefaultEnvironment();
  const platform::SystemInfo system = env.System();
  return env.ApplicationName() + "/" + env.ApplicationVersion() + " (unknown, " + system.name +
         " " + system.version + ", " + system.machine + ", Scale/1.00)";
}

}  // namespace

ServiceHTTPClient::ServiceHTTPClient(std::string base_url)
    : base_url_(std::move(base_url)),
      http_(platform::DefaultHttpClientFactory().NewClient({kMaxConcurrentRequests})) {
  SetDefaultHeader("Accept-Encoding", "gzip");
  SetDefaultHeader("Accept-Language", AcceptLanguage());
  SetDefaultHeader("User-Agent", HttpDefaultUserAgent());
  SetDefaultHeader("Accept", "application/json");
}

ServiceHTTPClient::~ServiceHTTPClient() = default;

std::string ServiceHTTPClient::UrlForPath(const std::string& path) const {
  std::string url = base_url_;
  while (!url.empty() && url.back() == '/') url.pop_back();
  size_t start = 0;
  while (start < path.size() && path[start] == '/') ++start;
  return url + "/" + path.substr(start);
}

platform::HttpRequest ServiceHTTPClient::RequestWithMethod(const std::string& method,
                                                           const std::string& path,
                                                           const Value& parameters) const {
  platform::HttpRequest request;
  request.method = method;
  request.url = UrlForPath(path);
  request.headers = headers_;
  if (parameters.is_null()) return request;
  const std::string query = QueryStringFromParameters(parameters);
  if (method == "GET" || method == "HEAD" || method == "DELETE") {
    if (!query.empty()) {
      request.url += request.url.find('?') == std::string::npos ? '?' : '&';
      request.url += query;
    }
  } else {
    request.body = query;
    request.headers.emplace_back("Content-Type",
                                 "application/x-www-form-urlencoded; charset=utf-8");
  }
  return request;
}

void ServiceHTTPClient::Enqueue(platform::HttpRequest request, Success success, Failure failure) {
  http_->Send(std::move(request), [success = std::move(success), failure = std::move(failure)](
                                      const platform::HttpResponse& response) {
    std::optional<Value> json;
    if (!response.body.empty()) json = platform::ParseJson(response.body);
    const bool ok = response.status >= 200 && response.status < 300 &&
                    IsJsonContentType(response.content_type) &&
                    (response.body.empty() || json.has_value());
    if (ok) {
      if (success) success(json.value_or(Value()));
    } else if (failure) {
      failure(json.value_or(Value()));
    }
  });
}

void ServiceHTTPClient::Get(const std::string& path, const Value& parameters, Success success,
                            Failure failure) {
  Enqueue(RequestWithMethod("GET", path, parameters), std::move(success), std::move(failure));
}

void ServiceHTTPClient::Post(const std::string& path, const Value& parameters, Success success,
                             Failure failure) {
  Enqueue(RequestWithMethod("POST", path, parameters), std::move(success), std::move(failure));
}

void ServiceHTTPClient::Delete(const std::string& path, const Value& parameters, Success success,
                               Failure failure) {
  Enqueue(RequestWithMethod("DELETE", path, parameters), std::move(success), std::move(failure));
}

void ServiceHTTPClient::PostMultipart(const std::string& path,
                                      std::vector<platform::HttpFormPart> parts, Success success,
                                      Failure failure) {
  platform::HttpRequest request = RequestWithMethod("POST", path, Value());
  request.form = std::move(parts);
  Enqueue(std::move(request), std::move(success), std::move(failure));
}

size_t ServiceHTTPClient::CancelAllHTTPOperations(std::optional<std::string_view> method,
                                                  const std::string& path) {
  return http_->Cancel(method, UrlForPath(path));
}

void ServiceHTTPClient::SetDefaultHeader(const std::string& name,
                                         std::optional<std::string> value) {
  for (auto it = headers_.begin(); it != headers_.end(); ++it) {
    if (!SameName(it->first, name)) continue;
    if (value) {
      it->second = std::move(*value);
    } else {
      headers_.erase(it);
    }
    return;
  }
  if (value) headers_.emplace_back(name, std::move(*value));
}

std::optional<std::string> ServiceHTTPClient::DefaultHeader(const std::string& name) const {
  for (const auto& [key, value] : headers_) {
    if (SameName(key, name)) return value;
  }
  return std::nullopt;
}

void ServiceHTTPClient::SetAccessTokenHeader(std::optional<std::string> token) {
  SetDefaultHeader("X-Access-Token", std::move(token));
}

std::optional<std::string> ServiceHTTPClient::AccessTokenHeader() const {
  return DefaultHeader("X-Access-Token");
}

bool ServiceHTTPClient::HasAccessToken() const {
  auto token = AccessTokenHeader();
  return token && !token->empty();
}

void ServiceHTTPClient::SetApplicationUserAgent() {
  SetDefaultHeader("User-Agent", DefaultClientEnvironment().UserAgent());
}

void ServiceHTTPClient::SetServiceBaseUrl(std::string url) {
  {
    std::lock_guard lock(g_base_url_mutex);
    BaseUrlSlot() = url;
  }
  internal::SwitchSharedClients(url);
}

std::string ServiceHTTPClient::ServiceBaseUrl() {
  std::lock_guard lock(g_base_url_mutex);
  return BaseUrlSlot();
}

Params& Params::AddArrayIf(std::string key, const std::optional<std::vector<std::string>>& values) {
  if (!values) return *this;
  Value array(Value::Array{});
  for (const std::string& v : *values) array.Append(v);
  value_.Set(std::move(key), std::move(array));
  return *this;
}

}  // namespace service
