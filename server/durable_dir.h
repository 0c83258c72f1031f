// One directory whose writes survive a crash of the process or the machine:
// every write is flushed (fsync) together with the directory entry before it
// returns. The only door of the media store to the file system.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace server {

class DurableDir {
 public:
  explicit DurableDir(std::string path) : path_(std::move(path)) {}

  const std::string& path() const { return path_; }
  bool Exists() const;
  // Creates the directory and its parents; flushes the new entry.
  bool Create(std::string* error);
  // Writes `name` whole (replacing it) through a temporary file and a rename,
  // so that readers and crashes see the old or the new content.
  bool WriteFile(std::string_view name, std::string_view data, std::string* error);
  // Appends to `name` and flushes it.
  bool Append(std::string_view name, std::string_view data, std::string* error);
  std::optional<std::string> ReadFile(std::string_view name) const;
  // Shortens `name` to `size` bytes (drops a torn tail after a crash).
  bool Truncate(std::string_view name, size_t size);
  // Removes the directory and everything in it (one level of files).
  void RemoveAll();

  // Names must be plain file names made by this program: letters, digits, '.',
  // '_' and '-'; anything else is refused before it reaches the file system.
  static bool IsSafeName(std::string_view name);

 private:
  std::string FilePath(std::string_view name) const;

  std::string path_;
};

}  // namespace server
