// FileSystem: the file operations the application needs, with writes that a
// crash cannot tear: WriteFileAtomically leaves either the old or the new file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"

namespace platform {

struct FileInfo {
  uint64_t size = 0;
  WallTime modified;
  bool is_directory = false;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // The whole file, or nullopt (and `error`) when it cannot be read.
  virtual std::optional<std::string> ReadFile(const std::string& path,
                                              std::string* error = nullptr) = 0;
  // Writes a temporary file beside `path`, flushes it to disk, renames it over
  // `path` and flushes the directory. `mode` is the new file's permission bits.
  virtual bool WriteFileAtomically(const std::string& path, std::string_view data,
                                   unsigned mode = 0644, std::string* error = nullptr) = 0;
  virtual std::optional<FileInfo> Stat(const std::string& path) = 0;
  virtual bool Exists(const std::string& path) { return Stat(path).has_value(); }
  // Removes a file (not a directory); true when it is gone afterwards.
  virtual bool RemoveFile(const std::string& path) = 0;
  virtual bool Rename(const std::string& from, const std::string& to) = 0;
  // Creates the directory and its parents (mode 0700).
  virtual bool CreateDirectories(const std::string& path) = 0;
  // Names (not paths) of the entries of a directory, without "." and "..".
  virtual std::vector<std::string> ListDirectory(const std::string& path) = 0;
};

// The Linux file system unless a test installed another (nullptr restores it).
FileSystem& DefaultFileSystem();
void SetDefaultFileSystem(FileSystem* file_system);

}  // namespace platform
