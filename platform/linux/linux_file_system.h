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

// The POSIX steps behind LinuxFileSystem, for code that keeps files of its own
// outside the FileSystem port (the server's durable directories).

// The whole file, or nullopt (and `error`).
std::optional<std::string> ReadWholeFile(const std::string& path, std::string* error = nullptr);
// Writes all of `data` to `fd`, through short writes and interruptions.
bool WriteAll(int fd, std::string_view data);
// Writes a temporary file beside `path` with permission bits `mode`, flushes it
// to disk and renames it over `path`: readers and crashes see the old content
// or the new. The new entry is durable once the directory is flushed
// (SyncDirectory).
bool ReplaceFile(const std::string& path, std::string_view data, unsigned mode,
                 std::string* error);
// Flushes the entries of a directory to disk.
bool SyncDirectory(const std::string& path, std::string* error = nullptr);

}  // namespace platform
