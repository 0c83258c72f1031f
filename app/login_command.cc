// selvo login (--email E | --mobile M) --password P: signs in and keeps the
// login for the commands that follow.
#include <cstdio>

#include "app/account_input.h"
#include "app/service_job.h"
#include "service/account_api_client.h"
#include "shell/selvo_utils.h"
#include "shell/session.h"

namespace app {

int LoginCommand(const GlobalOptions& options, const std::vector<std::string>& args) {
  ArgParser parser;
  parser.Value("email").Value("mobile").Value("password");
  if (!parser.Parse(args)) return UsageError(parser.error());
  if (!parser.positional().empty()) return UsageError("login takes no arguments");
  std::string error;
  auto who = ReadIdentity(parser, error);
  if (!who) return UsageError(error);
  auto password = parser.Get("password");
  if (!password) return UsageError("login needs --password");
  if (!shell::SelvoUtils::IsValidPassword(*password)) {
    return UsageError("the password must have 6 to 24 characters");
  }

  return RunServiceJob(options, [&](const ApplicationHost& host, ApplicationHost::Finish finish) {
    const std::string server = host.ServerUrl();
    using service::AccountAPIClient;
    AccountAPIClient::EmailMobileLogin(
        who->provider, AccountAPIClient::GetSignature(who->identity, who->provider), who->identity,
        *password,
        [finish, who, server](const platform::Value& response,
                              const std::optional<std::string>& token) {
          if (!token || token->empty()) {
            if (who->provider != "mobile") {
              Fail(finish, "login failed: the service gave no access token");
              return;
            }
            // Not activated yet: ask for the activation message again.
            AccountAPIClient::ReActivate(
                "mobile", AccountAPIClient::GetSignature(who->identity, "mobile"), who->identity,
                [finish, who](const platform::Value&) {
                  Fail(finish, "the account " + who->identity +
                                   " is not activated yet; an activation message was sent");
                },
                [finish, who, server](const platform::Value& e) {
                  Fail(finish, "the account " + who->identity + " is not activated yet (" +
                                   FailureText(e, server) + ")");
                });
            return;
          }
          shell::StoreLogin(response);
          std::printf("signed in as %s (user %s)\n",
                      response["login_meta"]["screen_name"].AsString().c_str(),
                      response["_id"].AsString().c_str());
          finish(0);
        },
        [finish, server](const platform::Value& e) {
          Fail(finish, "login failed: " + FailureText(e, server));
        });
  });
}

}  // namespace app
