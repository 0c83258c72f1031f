#include "platform/testing/fake_environment.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/linux/linux_environment.h"

namespace platform {

std::string MakeTempDirectory(const std::string& prefix) {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/" + prefix + "-XXXXXX";
  if (!::mkdtemp(pattern.data())) {
    std::perror("mkdtemp");
    std::abort();
  }
  return pattern;
}

void RemoveTree(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

FakeEnvironment::FakeEnvironment(ManualClock& clock)
    : clock_(clock), root_(MakeTempDirectory("selvo-test")) {
  MakeDirectories(root_ + "/documents");
  MakeDirectories(root_ + "/tmp");
}

FakeEnvironment::~FakeEnvironment() { RemoveTree(root_); }

std::string FakeEnvironment::NewUuid() {
  char text[40];
  std::snprintf(text, sizeof text, "00000000-0000-4000-8000-%012d", ++uuids_);
  return text;
}

}  // namespace platform
