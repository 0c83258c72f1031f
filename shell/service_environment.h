// The service clients' view of the device, answered by the shell's
// preferences and utilities. The executable installs one for its lifetime.
#pragma once

#include "service/client_environment.h"

namespace shell {

class ShellClientEnvironment final : public service::ClientEnvironment {
 public:
  // Installs itself; the destructor uninstalls it.
  ShellClientEnvironment();
  ~ShellClientEnvironment() override;

  std::string UserAgent() override;
  std::string InstallationId() override;
  std::string NetworkName() override;
  std::string PlatformName() override;
  std::string LocalTimeText() override;
  std::optional<service::StoredLocation> Location() override;
};

}  // namespace shell
