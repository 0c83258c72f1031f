#include "service/shared_clients.h"

#include <array>
#include <mutex>

#include "service/api_error_report.h"

namespace service {
namespace internal {
namespace {

std::mutex g_mutex;
std::array<std::unique_ptr<ServiceHTTPClient>, 4>& Slots() {
  static auto* slots = new std::array<std::unique_ptr<ServiceHTTPClient>, 4>();
  return *slots;
}

}  // namespace

ServiceHTTPClient& SharedClientIn(ClientSlot slot,
                                  const std::function<std::unique_ptr<ServiceHTTPClient>()>& make) {
  std::lock_guard lock(g_mutex);
  auto& client = Slots()[static_cast<size_t>(slot)];
  if (!client) client = make();
  return *client;
}

void SwitchSharedClients(const std::string& url) {
  std::lock_guard lock(g_mutex);
  for (auto& client : Slots()) {
    if (client) client->set_base_url(url);
  }
}

}  // namespace internal

void ServiceHTTPClient::ResetSharedClients() {
  {
    std::lock_guard lock(internal::g_mutex);
    for (auto& client : internal::Slots()) client.reset();
  }
  APIErrorReport::Reset();
}

}  // namespace service
