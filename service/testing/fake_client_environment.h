// FakeClientEnvironment: fixed answers for the service clients, installed for
// the life of a test together with fresh shared clients.
#pragma once

#include "service/client_environment.h"
#include "service/service_http_client.h"

namespace service {

class FakeClientEnvironment final : public ClientEnvironment {
 public:
  FakeClientEnvironment() {
    ServiceHTTPClient::ResetSharedClients();
    ServiceHTTPClient::SetServiceBaseUrl("https://api.selvo.test");
    SetClientEnvironment(this);
  }
  ~FakeClientEnvironment() override {
    ServiceHTTPClient::ResetSharedClients();
    SetClientEnvironment(nullptr);
  }

  std::string UserAgent() override { return user_agent; }
  std::string InstallationId() override { return installation_id; }
  std::string NetworkName() override { return network_name; }
  std::string PlatformName() override { return platform_name; }
  std::string LocalTimeText() override { return local_time; }
  std::optional<StoredLocation> Location() override { return location; }

  std::string user_agent = "Selvo 1.0.0 (x86_64; Linux 6.1.0-test; en_US)";
  std::string installation_id = "00000000-0000-4000-8000-00000000000A";
  std::string network_name = "WiFi";
  std::string platform_name = "x86_64";
  std::string local_time = "2013-05-04 10:20:30";
  std::optional<StoredLocation> location;
};

}  // namespace service
