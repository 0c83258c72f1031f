// selvo run: starts the application and keeps it running until it is
// terminated, so that its lifecycle can be watched and driven by signals.
#include <unistd.h>

#include <cstdio>

#include "app/application_host.h"
#include "app/args.h"
#include "app/command.h"
#include "app/streaming_engine.h"
#include "shell/login_user_info_preferences.h"

namespace app {

int RunCommand(const GlobalOptions& options, const std::vector<std::string>& args) {
  ArgParser parser;
  if (!parser.Parse(args)) return UsageError(parser.error());
  if (!parser.positional().empty()) return UsageError("run takes no arguments");

  ApplicationHost host(options);
  std::fprintf(stderr,
               "selvo: running as process %d; SIGTERM or Ctrl-C ends it, SIGUSR1 and SIGUSR2 "
               "send it to the background and back\n",
               static_cast<int>(::getpid()));
  int status = host.Run([](ApplicationHost::Finish) {
    // A stored login is signed in: its upload queue is loaded, as the main screen does.
    if (shell::LoginUserInfoPreferences::AccessToken()) {
      LoadUserStreamingTasks(shell::LoginUserInfoPreferences::UserId());
    }
  });
  std::fprintf(stderr, "selvo: terminated\n");
  return status;
}

}  // namespace app
