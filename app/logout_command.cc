// selvo logout: forgets the login here and tells the service.
#include <cstdio>

#include "app/args.h"
#include "app/service_job.h"
#include "service/account_api_client.h"
#include "shell/session.h"

namespace app {

int LogoutCommand(const GlobalOptions& options, const std::vector<std::string>& args) {
  ArgParser parser;
  if (!parser.Parse(args)) return UsageError(parser.error());
  if (!parser.positional().empty()) return UsageError("logout takes no arguments");

  return RunServiceJob(options, [](const ApplicationHost& host, ApplicationHost::Finish finish) {
    if (!shell::InstallStoredLogin()) return Fail(finish, "not signed in");
    shell::LogOutLocally();
    const std::string server = host.ServerUrl();
    service::AccountAPIClient::Logout(
        [finish](const platform::Value&) {
          std::printf("signed out\n");
          finish(0);
        },
        [finish, server](const platform::Value& e) {
          Fail(finish, "signed out on this device, but the service did not confirm: " +
                           FailureText(e, server));
        });
  });
}

}  // namespace app
