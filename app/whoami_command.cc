// selvo whoami: the stored login record (never the access token).
#include <cstdio>

#include "app/args.h"
#include "app/service_job.h"
#include "shell/login_user_info_preferences.h"

namespace app {

int WhoamiCommand(const GlobalOptions& options, const std::vector<std::string>& args) {
  ArgParser parser;
  if (!parser.Parse(args)) return UsageError(parser.error());
  if (!parser.positional().empty()) return UsageError("whoami takes no arguments");

  return RunServiceJob(options, [](const ApplicationHost& host, ApplicationHost::Finish finish) {
    using shell::LoginUserInfoPreferences;
    auto token = LoginUserInfoPreferences::AccessToken();
    if (!token || token->empty()) return Fail(finish, "not signed in");
    std::printf("user id: %s\n", LoginUserInfoPreferences::UserId().c_str());
    std::printf("screen name: %s\n", LoginUserInfoPreferences::ScreenName().value_or("").c_str());
    std::printf("signed in with: %s %s\n",
                LoginUserInfoPreferences::LoginProvider().value_or("").c_str(),
                LoginUserInfoPreferences::LoginIdentity().value_or("").c_str());
    if (auto avatar = LoginUserInfoPreferences::AvatarUrl(); avatar && !avatar->empty()) {
      std::printf("avatar: %s\n", avatar->c_str());
    }
    std::printf("server: %s\n", host.ServerUrl().c_str());
    finish(0);
  });
}

}  // namespace app
