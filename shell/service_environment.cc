#include "shell/service_environment.h"

#include "shell/geo.h"
#include "shell/selvo_global_preferences.h"
#include "shell/selvo_utils.h"

namespace shell {

ShellClientEnvironment::ShellClientEnvironment() { service::SetClientEnvironment(this); }
ShellClientEnvironment::~ShellClientEnvironment() { service::SetClientEnvironment(nullptr); }

std::string ShellClientEnvironment::UserAgent() { return SelvoUtils::DefaultUserAgentString(); }
std::string ShellClientEnvironment::InstallationId() { return SelvoGlobalPreferences::SrandUUID(); }
std::string ShellClientEnvironment::NetworkName() { return SelvoUtils::NetworkName(); }
std::string ShellClientEnvironment::PlatformName() { return SelvoUtils::PlatformName(); }
std::string ShellClientEnvironment::LocalTimeText() {
  return SelvoUtils::YyyyMMddHHmmssLocalTime();
}

std::optional<service::StoredLocation> ShellClientEnvironment::Location() {
  auto latitude = Geo::GetLatitude();
  auto longitude = Geo::GetLongitude();
  if (!latitude || !longitude) return std::nullopt;
  return service::StoredLocation{*latitude, *longitude};
}

}  // namespace shell
