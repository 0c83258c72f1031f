// The process-wide instances of the four clients: created on first use (under
// one lock), kept for the life of the process, switched together to a new base
// URL, and replaced only by ServiceHTTPClient::ResetSharedClients.
#pragma once

#include <functional>
#include <memory>

#include "service/service_http_client.h"

namespace service::internal {

enum class ClientSlot { kAccount, kVideo, kTimeline, kMessage };

ServiceHTTPClient& SharedClientIn(ClientSlot slot,
                                  const std::function<std::unique_ptr<ServiceHTTPClient>()>& make);

// Points every existing shared client at `url`.
void SwitchSharedClients(const std::string& url);

template <typename T>
T& Shared(ClientSlot slot) {
  return static_cast<T&>(SharedClientIn(slot, [] {
    return std::unique_ptr<ServiceHTTPClient>(new T(ServiceHTTPClient::ServiceBaseUrl()));
  }));
}

}  // namespace service::internal
