// FileSystem on POSIX calls.
#pragma once

#include "platform/file_system.h"

namespace platform {

class LinuxFileSystem final : public FileSystem {
 public:
  std::optional<std::string> ReadFile(const std::string& path, std::string* error) override;
  bool WriteFileAtomically(const std::string& path, std::string_view data, unsigned mode,
                           std::string* error) override;
  std::optional<FileInfo> Stat(const std::string& path) override;
  bool RemoveFile(const std::string& path) override;
  bool Rename(const std::string& from, const std::string& to) override;
  bool CreateDirectories(const std::string& path) override;
  std::vector<std::string> ListDirectory(const std::string& path) override;
};

}  // namespace platform
