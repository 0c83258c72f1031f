#include "service/endpoint.h"

#include <chrono>

#include "platform/clock.h"
#include "service/account_api_client.h"
#include "service/client_environment.h"

namespace service::internal {

std::string CurrentUnixTimeText() {
  const auto now = platform::DefaultClock().WallNow();
  return std::to_string(
      std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count());
}

void AddApplicationIdentity(Params& params) {
  const std::string id = DefaultClientEnvironment().InstallationId();
  params.Add("provider", "app")
      .Add("identity", id)
      .Add("signature", AccountAPIClient::GetSignature(id, "app"));
}

}  // namespace service::internal
