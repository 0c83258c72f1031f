#include "platform/http_client.h"

#include <strings.h>
#include <atomic>

#include "platform/linux/curl_http_client.h"

namespace platform {
namespace {

std::atomic<HttpClientFactory*> g_installed{nullptr};

}  // namespace

std::string HttpRequest::Header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (key.size() == name.size() && ::strncasecmp(key.data(), name.data(), name.size()) == 0) {
      return value;
    }
  }
  return {};
}

HttpClientFactory& DefaultHttpClientFactory() {
  if (HttpClientFactory* f = g_installed.load(std::memory_order_acquire)) return *f;
  static CurlHttpClientFactory* machine = new CurlHttpClientFactory(CurlSettings{});
  return *machine;
}

void SetDefaultHttpClientFactory(HttpClientFactory* factory) {
  g_installed.store(factory, std::memory_order_release);
}

bool HttpRequestMatches(const HttpRequest& request, std::optional<std::string_view> method,
                        std::string_view url_prefix) {
  if (method && request.method != *method) return false;
  return std::string_view(request.url).substr(0, url_prefix.size()) == url_prefix;
}

}  // namespace platform
