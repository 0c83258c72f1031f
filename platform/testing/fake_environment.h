// FakeEnvironment: a fresh temporary directory tree (removed afterwards),
// predictable UUIDs and a manual clock.
#pragma once

#include <string>

#include "platform/environment.h"
#include "platform/testing/manual_clock.h"

namespace platform {

class FakeEnvironment final : public Environment {
 public:
  explicit FakeEnvironment(ManualClock& clock);
  ~FakeEnvironment() override;

  std::string DocumentsDirectory() override { return root_ + "/documents"; }
  std::string TemporaryDirectory() override { return root_ + "/tmp"; }
  std::string PreferencesPath() override { return root_ + "/preferences.json"; }
  std::string ApplicationName() override { return "Selvo"; }
  std::string ApplicationVersion() override { return version; }
  SystemInfo System() override { return system; }
  std::string LocaleIdentifier() override { return locale; }
  // "00000000-0000-4000-8000-000000000001", "...002", ...
  std::string NewUuid() override;
  Clock& clock() override { return clock_; }

  const std::string& root() const { return root_; }

  std::string version = "1.0.0";
  SystemInfo system{"Linux", "6.1.0-test", "x86_64"};
  std::string locale = "en_US";

 private:
  ManualClock& clock_;
  std::string root_;
  int uuids_ = 0;
};

// A fresh directory under $TMPDIR; RemoveTree deletes one recursively.
std::string MakeTempDirectory(const std::string& prefix);
void RemoveTree(const std::string& path);

}  // namespace platform
