// selvo: the command-line front end of the application.
#include <cstdio>
#include <string>
#include <vector>

#include "app/command.h"
#include "platform/linux/linux_application.h"

namespace {

constexpr const char* kVersion = SELVO_VERSION;

void PrintHelp() {
  std::printf(
      "usage: selvo [--data-dir DIR] [--server URL] [--ca-file F] [--verbose] COMMAND [ARGS]\n"
      "       selvo --help | --version\n\n"
      "Global options:\n"
      "  --data-dir DIR   keep documents, recordings and preferences under DIR\n"
      "                   (default: the XDG data and cache directories)\n"
      "  --server URL     the service to talk to (default http://127.0.0.1:8080; remembered)\n"
      "  --ca-file F      trust the certificate authorities in F for https\n"
      "  --verbose        log what the application does on stderr\n\n"
      "Commands:\n");
  for (const auto& command : app::Commands()) {
    std::string line = std::string(command.name);
    if (!command.usage.empty()) line += " " + std::string(command.usage);
    std::printf("  %s\n      %.*s\n", line.c_str(), static_cast<int>(command.summary.size()),
                command.summary.data());
  }
}

// Takes the global options out of `args`, wherever they stand. Returns false
// (after printing the error) when one lacks its value.
bool ExtractGlobalOptions(std::vector<std::string>& args, app::GlobalOptions& options,
                          int& status) {
  std::vector<std::string> rest;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (word == "--") {
      rest.insert(rest.end(), args.begin() + static_cast<long>(i), args.end());
      break;
    }
    std::optional<std::string>* target = nullptr;
    std::string name = word;
    std::optional<std::string> inline_value;
    if (auto eq = word.find('='); eq != std::string::npos && word.compare(0, 2, "--") == 0) {
      name = word.substr(0, eq);
      inline_value = word.substr(eq + 1);
    }
    if (name == "--data-dir") target = &options.data_dir;
    if (name == "--server") target = &options.server;
    if (name == "--ca-file") target = &options.ca_file;
    if (name == "--verbose" && !inline_value) {
      options.verbose = true;
      continue;
    }
    if (!target) {
      rest.push_back(word);
      continue;
    }
    if (inline_value) {
      *target = *inline_value;
    } else if (i + 1 < args.size()) {
      *target = args[++i];
    } else {
      status = app::UsageError("option " + name + " needs a value");
      return false;
    }
    if ((*target)->empty()) {
      status = app::UsageError("option " + name + " needs a non-empty value");
      return false;
    }
  }
  args = std::move(rest);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // Before any thread exists, so that every thread inherits the mask and the
  // lifecycle signals reach only the application's signal thread.
  platform::LinuxApplication::BlockLifecycleSignals();
  std::vector<std::string> args(argv + 1, argv + argc);
  app::GlobalOptions options;
  int status = 0;
  if (!ExtractGlobalOptions(args, options, status)) return status;

  if (args.empty()) {
    PrintHelp();
    return 2;
  }
  const std::string command_name = args.front();
  if (command_name == "--help" || command_name == "-h" || command_name == "help") {
    PrintHelp();
    return 0;
  }
  if (command_name == "--version") {
    std::printf("selvo %s\n", kVersion);
    return 0;
  }
  for (const auto& command : app::Commands()) {
    if (command.name == command_name) {
      args.erase(args.begin());
      return command.run(options, args);
    }
  }
  if (command_name.compare(0, 1, "-") == 0)
    return app::UsageError("unknown option " + command_name);
  return app::UsageError("unknown command '" + command_name + "'");
}
