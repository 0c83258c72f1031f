// The subcommands of the `selvo` front end. Each lives in its own file and is
// listed once in commands.cc.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace app {

// Options every command accepts, before or after the command name.
struct GlobalOptions {
  std::optional<std::string> data_dir;  // --data-dir DIR
  std::optional<std::string> server;    // --server URL
  std::optional<std::string> ca_file;   // --ca-file F
  bool verbose = false;                 // --verbose
};

struct Command {
  std::string_view name;
  std::string_view usage;    // the arguments, as shown by --help
  std::string_view summary;  // one line
  int (*run)(const GlobalOptions& options, const std::vector<std::string>& args);
};

const std::vector<Command>& Commands();

// Prints "selvo: <message>" on stderr and returns 2, the exit status of misuse.
int UsageError(std::string_view message);
// Prints "selvo: <message>" on stderr and returns 1, the exit status of failure.
int Failure(std::string_view message);

}  // namespace app
