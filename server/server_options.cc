#include "server/server_options.h"

#include <cstdlib>

namespace server {

const char* const kServerUsage =
    "usage: selvo-server [OPTIONS]                    run the service\n"
    "       selvo-server activate [--data DIR] [--provider P] IDENTITY\n"
    "                                                 activate a sign-up (default provider: mobile)\n"
    "       selvo-server activate [--data DIR] --list  list sign-ups waiting for activation\n"
    "       selvo-server --help | --version\n"
    "\n"
    "Options:\n"
    "  --listen ADDR:PORT        where to listen (default 127.0.0.1:8080; port 0: any free port)\n"
    "  --data DIR                all state: database and media (default $XDG_DATA_HOME/selvo-server)\n"
    "  --tls-cert FILE           serve HTTPS with this PEM certificate (chain)...\n"
    "  --tls-key FILE            ...and this PEM private key\n"
    "  --public-url URL          stem of the URLs handed out (default: as the client reached us)\n"
    "  --threads N               connections served at once (default 64)\n"
    "  --list-size N             longest page of a list, \"list_size\" (default 50)\n"
    "  --contacts-limit N        most contacts per user, \"contacts_limit\" (default 150)\n"
    "  --max-piece-bytes N       largest accepted upload piece (default 4194304)\n"
    "  --max-stream-bytes N      largest stream (default 2147483648)\n"
    "  --activate-mobile-signups mobile sign-ups work at once, without activation\n"
    "\n"
    "The first line on standard output is \"listening on http://ADDR:PORT\" (or https).\n"
    "SIGTERM or SIGINT stops the server.\n";

namespace {

std::string DefaultDataDir() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && *xdg) return std::string(xdg) + "/selvo-server";
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : ".") + "/.local/share/selvo-server";
}

bool ParseNumber(const std::string& text, long long min, long long max, long long& out) {
  if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  out = std::stoll(text);
  return out >= min && out <= max;
}

}  // namespace

bool ParseServerCommand(const std::vector<std::string>& args, ServerCommand& command,
                        std::string& error) {
  command.backend.data_dir = DefaultDataDir();
  size_t i = 0;
  if (!args.empty() && args[0] == "activate") {
    command.action = ServerCommand::Action::kActivate;
    i = 1;
  }
  for (; i < args.size(); ++i) {
    const std::string& word = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        error = "option " + word + " needs a value";
        return false;
      }
      out = args[++i];
      return true;
    };
    auto number = [&](long long min, long long max, long long& out) {
      std::string text;
      if (!value(text)) return false;
      if (!ParseNumber(text, min, max, out)) {
        error = "option " + word + " needs a number from " + std::to_string(min) + " to " +
                std::to_string(max);
        return false;
      }
      return true;
    };
    long long n = 0;
    bool serving = command.action == ServerCommand::Action::kServe;
    if (word == "--help" || word == "-h") {
      command.action = ServerCommand::Action::kHelp;
      return true;
    } else if (word == "--version") {
      command.action = ServerCommand::Action::kVersion;
      return true;
    } else if (word == "--data") {
      if (!value(command.backend.data_dir)) return false;
    } else if (!serving) {
      if (word == "--provider") {
        if (!value(command.provider)) return false;
      } else if (word == "--list") {
        command.action = ServerCommand::Action::kListInactive;
      } else if (!word.starts_with("-") && command.identity.empty()) {
        command.identity = word;
      } else {
        error = "unexpected argument " + word;
        return false;
      }
    } else if (word == "--listen") {
      std::string listen;
      if (!value(listen)) return false;
      size_t colon = listen.rfind(':');
      long long port = 0;
      if (colon == std::string::npos || colon == 0 ||
          !ParseNumber(listen.substr(colon + 1), 0, 65535, port)) {
        error = "option --listen needs ADDR:PORT, for example 127.0.0.1:8080";
        return false;
      }
      std::string host = listen.substr(0, colon);
      if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
      command.frontend.host = host;
      command.frontend.port = static_cast<int>(port);
    } else if (word == "--tls-cert") {
      if (!value(command.frontend.tls_cert)) return false;
    } else if (word == "--tls-key") {
      if (!value(command.frontend.tls_key)) return false;
    } else if (word == "--public-url") {
      if (!value(command.frontend.public_url)) return false;
      while (command.frontend.public_url.ends_with("/")) command.frontend.public_url.pop_back();
    } else if (word == "--threads") {
      if (!number(1, 4096, n)) return false;
      command.frontend.threads = static_cast<int>(n);
    } else if (word == "--list-size") {
      if (!number(1, 1000, n)) return false;
      command.backend.settings.list_size = static_cast<int>(n);
    } else if (word == "--contacts-limit") {
      if (!number(1, 100000, n)) return false;
      command.backend.settings.contacts_limit = static_cast<int>(n);
    } else if (word == "--max-piece-bytes") {
      if (!number(188, 256 << 20, n)) return false;
      command.backend.limits.max_piece_bytes = static_cast<size_t>(n);
    } else if (word == "--max-stream-bytes") {
      if (!number(188, 1LL << 50, n)) return false;
      command.backend.limits.max_stream_bytes = static_cast<uint64_t>(n);
    } else if (word == "--activate-mobile-signups") {
      command.backend.settings.activate_mobile_signups = true;
    } else {
      error = "unknown option " + word;
      return false;
    }
  }
  if (command.frontend.tls_cert.empty() != command.frontend.tls_key.empty()) {
    error = "--tls-cert and --tls-key go together";
    return false;
  }
  if (command.action == ServerCommand::Action::kActivate && command.identity.empty()) {
    error = "activate needs the IDENTITY to activate (or --list)";
    return false;
  }
  command.backend.settings.avatar_dir = command.backend.data_dir + "/media/avatars";
  // The largest body is a piece, an avatar or a thumbnail, whichever is larger.
  command.frontend.max_body_bytes =
      std::max<size_t>(command.backend.limits.max_piece_bytes, (2 << 20) + (64 << 10));
  return true;
}

}  // namespace server
