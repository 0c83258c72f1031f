// The command line of selvo-server.
#pragma once

#include <string>
#include <vector>

#include "server/backend.h"
#include "server/http_frontend.h"

namespace server {

struct ServerCommand {
  enum class Action { kServe, kActivate, kListInactive, kHelp, kVersion } action = Action::kServe;
  FrontendOptions frontend;
  BackendOptions backend;
  std::string provider = "mobile";  // activate
  std::string identity;             // activate
};

// Parses the arguments after the program name. On misuse returns false and
// one line in `error`.
bool ParseServerCommand(const std::vector<std::string>& args, ServerCommand& command,
                        std::string& error);

extern const char* const kServerUsage;

}  // namespace server
