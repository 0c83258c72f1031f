// selvo-server: the stand-in backend service, HLS ingest and HLS origin.
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "server/backend.h"
#include "server/http_frontend.h"
#include "server/server_options.h"
#include "server/stop_signals.h"

namespace {

int UsageError(const std::string& message) {
  std::fprintf(stderr, "selvo-server: %s\n", message.c_str());
  return 2;
}

int Activate(const server::ServerCommand& command) {
  if (command.action == server::ServerCommand::Action::kListInactive) {
    for (const auto& line : server::Backend::InactiveIdentities(command.backend.data_dir)) {
      std::printf("%s\n", line.c_str());
    }
    return 0;
  }
  if (!server::Backend::ActivateIdentity(command.backend.data_dir, command.provider,
                                         command.identity)) {
    std::fprintf(stderr, "selvo-server: no %s sign-up \"%s\" in %s\n", command.provider.c_str(),
                 command.identity.c_str(), command.backend.data_dir.c_str());
    return 1;
  }
  std::printf("activated %s %s\n", command.provider.c_str(), command.identity.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  server::StopSignals signals;  // before any thread exists
  server::ServerCommand command;
  std::string error;
  if (!server::ParseServerCommand(std::vector<std::string>(argv + 1, argv + argc), command, error)) {
    return UsageError(error);
  }
  try {
    switch (command.action) {
      case server::ServerCommand::Action::kHelp:
        std::fputs(server::kServerUsage, stdout);
        return 0;
      case server::ServerCommand::Action::kVersion:
        std::printf("selvo-server %s\n", SELVO_VERSION);
        return 0;
      case server::ServerCommand::Action::kActivate:
      case server::ServerCommand::Action::kListInactive:
        return Activate(command);
      case server::ServerCommand::Action::kServe:
        break;
    }
    server::Backend backend(command.backend);
    server::HttpFrontend frontend(command.frontend,
                                  [&backend](const server::HttpRequest& request) {
                                    return backend.Handle(request);
                                  });
    if (!frontend.Bind(&error)) {
      std::fprintf(stderr, "selvo-server: %s\n", error.c_str());
      return 1;
    }
    std::printf("listening on %s\n", frontend.Url().c_str());
    std::fflush(stdout);
    signals.OnStop([&frontend] { frontend.Stop(); });
    bool ok = frontend.Run();
    std::fprintf(stderr, "selvo-server: stopped\n");
    return ok ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "selvo-server: %s\n", e.what());
    return 1;
  }
}
