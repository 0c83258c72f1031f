// NetworkImageManager: fetches pictures ("Accept: image/*", decoded as JPEG or
// PNG) and small text files (playlists) over the HTTP port. Decoding runs on
// the global queue; every callback runs on the main queue.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/http_client.h"
#include "store/image_memory_cache.h"

namespace store {

class NetworkImageManager {
 public:
  using ImageSuccess = std::function<void(const ImagePtr& image)>;
  using TextSuccess = std::function<void(const std::string& text)>;
  // Why nothing usable came: the transport's error, the HTTP status, or why
  // the body could not be read.
  using Failure = std::function<void(const std::string& error)>;

  // The process's manager, made on first use with a client of the default
  // HTTP client factory.
  static NetworkImageManager& Shared();
  // Drops the process's manager and its client (what it still fetches is
  // dropped too); the next Shared() makes a new one. For tests and for a host
  // that replaces the HTTP client factory.
  static void ResetShared();

  explicit NetworkImageManager(std::unique_ptr<platform::HttpClient> client);

  // A GET with "Accept: image/*"; success only for a 2xx answer that decodes.
  // Failures are logged as "FAILURE: <url>".
  void FetchImageWithUrl(const std::string& url, ImageSuccess success, Failure failure);
  // A GET; success only for a 2xx answer whose body is valid UTF-8.
  void FetchText(const std::string& url, TextSuccess success, Failure failure);

 private:
  std::unique_ptr<platform::HttpClient> client_;
};

}  // namespace store
