// Environment: where the application keeps its files, what it and the machine
// are called, fresh UUIDs and the current time.
#pragma once

#include <string>

#include "platform/clock.h"

namespace platform {

struct SystemInfo {
  std::string name;     // "Linux"
  std::string version;  // kernel release
  std::string machine;  // "x86_64"
};

class Environment {
 public:
  virtual ~Environment() = default;

  // Documents: databases, the upload list, caches. Created on first use.
  virtual std::string DocumentsDirectory() = 0;
  // Recordings and sample files. Created on first use.
  virtual std::string TemporaryDirectory() = 0;
  // The preference store's file.
  virtual std::string PreferencesPath() = 0;

  virtual std::string ApplicationName() = 0;
  virtual std::string ApplicationVersion() = 0;
  virtual SystemInfo System() = 0;
  // The user's locale ("en_US"), from the process environment on Linux.
  virtual std::string LocaleIdentifier() = 0;

  // A new random (version 4) UUID in upper-case canonical form.
  virtual std::string NewUuid() = 0;

  virtual Clock& clock() = 0;
};

// The environment of the process; a LinuxEnvironment over the XDG directories
// unless one was installed (nullptr restores the default).
Environment& DefaultEnvironment();
void SetDefaultEnvironment(Environment* environment);

// A random version-4 UUID, upper case ("E621E1F8-C36C-495A-93FC-0C247A3E6E5F").
std::string MakeRandomUuid();

}  // namespace platform
