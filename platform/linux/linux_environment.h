// The environment on Linux. With a data directory DIR (the --data-dir option),
// documents live in DIR/documents, recordings in DIR/tmp and preferences in
// DIR/preferences.json. Without one they follow the XDG base directories:
// $XDG_DATA_HOME/selvo/documents, $XDG_CACHE_HOME/selvo/tmp (kept between runs,
// because the sample files stay there) and $XDG_CONFIG_HOME/selvo/preferences.json.
#pragma once

#include <optional>
#include <string>

#include "platform/environment.h"

namespace platform {

class LinuxEnvironment final : public Environment {
 public:
  explicit LinuxEnvironment(std::optional<std::string> data_dir = std::nullopt);

  std::string DocumentsDirectory() override;
  std::string TemporaryDirectory() override;
  std::string PreferencesPath() override;
  std::string ApplicationName() override { return "Selvo"; }
  std::string ApplicationVersion() override;
  SystemInfo System() override;
  std::string LocaleIdentifier() override;
  std::string NewUuid() override { return MakeRandomUuid(); }
  Clock& clock() override { return DefaultClock(); }

 private:
  std::string documents_;
  std::string temporary_;
  std::string preferences_;
};

// Creates `path` and its missing parents with mode 0700; true when it exists afterwards.
bool MakeDirectories(const std::string& path);

}  // namespace platform
