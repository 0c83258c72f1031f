#include "store/network_image_manager.h"

#include <mutex>

#include "platform/dispatch.h"
#include "platform/image_codec.h"
#include "platform/log.h"
#include "platform/utf8.h"

namespace store {
namespace {

std::mutex& SharedMutex() {
  static std::mutex mutex;
  return mutex;
}

std::unique_ptr<NetworkImageManager>& SharedSlot() {
  static auto* shared = new std::unique_ptr<NetworkImageManager>();
  return *shared;
}

// Why a response is not usable, or empty when it is (a 2xx answer).
std::string Problem(const platform::HttpResponse& response) {
  if (response.status == 0) return response.error.empty() ? "no answer" : response.error;
  if (response.status < 200 || response.status > 299) {
    return "HTTP status " + std::to_string(response.status);
  }
  return "";
}

}  // namespace

NetworkImageManager& NetworkImageManager::Shared() {
  std::lock_guard lock(SharedMutex());
  auto& shared = SharedSlot();
  if (!shared) {
    shared = std::make_unique<NetworkImageManager>(
        platform::DefaultHttpClientFactory().NewClient(platform::HttpClientOptions{}));
  }
  return *shared;
}

void NetworkImageManager::ResetShared() {
  std::lock_guard lock(SharedMutex());
  SharedSlot().reset();
}

NetworkImageManager::NetworkImageManager(std::unique_ptr<platform::HttpClient> client)
    : client_(std::move(client)) {}

void NetworkImageManager::FetchImageWithUrl(const std::string& url, ImageSuccess success,
                                            Failure failure) {
  auto fail = [url, failure](const std::string& error) {
    platform::Logf("FAILURE: %s", url.c_str());
    if (failure) failure(error);
  };
  platform::HttpRequest request;
  request.url = url;
  request.headers = {{"Accept", "image/*"}};
  client_->Send(std::move(request), [success, fail](const platform::HttpResponse& response) {
    if (std::string problem = Problem(response); !problem.empty()) {
      fail(problem);
      return;
    }
    // Pictures are decoded away from the main queue; the answer comes back to it.
    platform::GlobalQueue().Async([body = response.body, success, fail] {
      std::string error;
      std::optional<platform::Image> image = platform::DefaultImageCodec().Decode(body, &error);
      ImagePtr decoded;
      if (image) decoded = std::make_shared<const platform::Image>(std::move(*image));
      platform::MainQueue().Async([decoded, error, success, fail] {
        if (!decoded) {
          fail(error.empty() ? "not a picture" : error);
        } else if (success) {
          success(decoded);
        }
      });
    });
  });
}

void NetworkImageManager::FetchText(const std::string& url, TextSuccess success, Failure failure) {
  platform::HttpRequest request;
  request.url = url;
  client_->Send(std::move(request), [success, failure](const platform::HttpResponse& response) {
    std::string problem = Problem(response);
    if (problem.empty() && !platform::IsValidUtf8(response.body)) problem = "the text is not UTF-8";
    if (!problem.empty()) {
      if (failure) failure(problem);
    } else if (success) {
      success(response.body);
    }
  });
}

}  // namespace store
