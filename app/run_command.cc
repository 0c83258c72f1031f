// selvo run: starts the application and keeps it running until it is
// terminated, so that its lifecycle can be watched and driven by signals.
#include <unistd.h>

#include <cstdio>

#include "app/application_host.h"
#include "app/args.h"
#include "app/command.h"

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
  int status = host.Run([](ApplicationHost::Finish) {});
  std::fprintf(stderr, "selvo: terminated\n");
  return status;
}

}  // namespace app
