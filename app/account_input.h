// Reading the identity options of register and login: exactly one of
// --email and --mobile, each checked as the sign-in screens check them.
#pragma once

#include <optional>
#include <string>

#include "app/args.h"

namespace app {

struct AccountIdentity {
  std::string identity;
  std::string provider;  // "email" or "mobile"
};

// The identity, or nullopt after printing the usage error into `error`.
std::optional<AccountIdentity> ReadIdentity(const ArgParser& parser, std::string& error);

}  // namespace app
