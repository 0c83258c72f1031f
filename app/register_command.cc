// selvo register (--email E | --mobile M) --password P --name N: creates an
// account and signs in with it.
#include <cstdio>

#include "app/account_input.h"
#include "app/service_job.h"
#include "service/account_api_client.h"
#include "shell/selvo_utils.h"
#include "shell/session.h"

namespace app {

int RegisterCommand(const GlobalOptions& options, const std::vector<std::string>& args) {
  ArgParser parser;
  parser.Value("email").Value("mobile").Value("password").Value("name");
  if (!parser.Parse(args)) return UsageError(parser.error());
  if (!parser.positional().empty()) return UsageError("register takes no arguments");
  std::string error;
  auto who = ReadIdentity(parser, error);
  if (!who) return UsageError(error);
  auto password = parser.Get("password");
  auto name = parser.Get("name");
  if (!password) return UsageError("register needs --password");
  if (!shell::SelvoUtils::IsValidPassword(*password)) {
    return UsageError("the password must have 6 to 24 characters");
  }
  if (!name) return UsageError("register needs --name");
  if (!shell::SelvoUtils::IsValidScreenName(*name)) {
    return UsageError("the name must have 1 to 10 characters");
  }

  return RunServiceJob(options, [&](const ApplicationHost& host, ApplicationHost::Finish finish) {
    const std::string server = host.ServerUrl();
    using service::AccountAPIClient;
    AccountAPIClient::EmailMobileRegister(
        who->provider, AccountAPIClient::GetSignature(who->identity, who->provider), who->identity,
        *password, *name,
        [finish, who](const platform::Value& response, const std::optional<std::string>& token) {
          if (!token && who->provider == "mobile") {
            std::printf(
                "registered %s; the account must be activated with the message sent to "
                "it before you can log in\n",
                who->identity.c_str());
            finish(0);
            return;
          }
          shell::StoreLogin(response);
          std::printf("registered and signed in as %s (user %s)\n",
                      response["login_meta"]["screen_name"].AsString().c_str(),
                      response["_id"].AsString().c_str());
          finish(0);
        },
        [finish, server](const platform::Value& e) {
          Fail(finish, "registration failed: " + FailureText(e, server));
        });
  });
}

}  // namespace app
