#include "platform/linux/linux_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/environment.h"
#include "platform/linux/linux_environment.h"

namespace platform {
namespace {

std::atomic<FileSystem*> g_installed{nullptr};

void SetError(std::string* error, const std::string& what, const std::string& path) {
  if (error) *error = what + " " + path + ": " + std::strerror(errno);
}

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::string& path, std::string* error) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    SetError(error, "cannot open", path);
    return std::nullopt;
  }
  std::string data;
  char buffer[64 * 1024];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      SetError(error, "cannot read", path);
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    data.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return data;
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

bool ReplaceFile(const std::string& path, std::string_view data, unsigned mode,
                 std::string* error) {
  std::string temp = path + ".tmp-XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    SetError(error, "cannot create", temp);
    return false;
  }
  bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, data) && ::fsync(fd) == 0;
  if (!ok) SetError(error, "cannot write", temp);
  ok = (::close(fd) == 0) && ok;
  if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
    SetError(error, "cannot replace", path);
    ok = false;
  }
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

bool SyncDirectory(const std::string& path, std::string* error) {
  int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    SetError(error, "cannot open", path);
    return false;
  }
  bool ok = ::fsync(fd) == 0;
  if (!ok) SetError(error, "cannot flush", path);
  ::close(fd);
  return ok;
}

std::optional<std::string> LinuxFileSystem::ReadFile(const std::string& path, std::string* error) {
  return ReadWholeFile(path, error);
}

bool LinuxFileSystem::WriteFileAtomically(const std::string& path, std::string_view data,
                                          unsigned mode, std::string* error) {
  if (!ReplaceFile(path, data, mode, error)) return false;
  // The rename is durable only once the directory entry is on disk; the file is in
  // place either way, so a directory that cannot be flushed fails nothing.
  SyncDirectory(DirectoryOf(path));
  return true;
}

std::optional<FileInfo> LinuxFileSystem::Stat(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  FileInfo info;
  info.size = static_cast<uint64_t>(st.st_size);
  info.is_directory = S_ISDIR(st.st_mode);
  info.modified = WallTime(std::chrono::duration_cast<WallTime::duration>(
      std::chrono::seconds(st.st_mtim.tv_sec) + std::chrono::nanoseconds(st.st_mtim.tv_nsec)));
  return info;
}

bool LinuxFileSystem::RemoveFile(const std::string& path) {
  return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

bool LinuxFileSystem::Rename(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

bool LinuxFileSystem::CreateDirectories(const std::string& path) { return MakeDirectories(path); }

std::vector<std::string> LinuxFileSystem::ListDirectory(const std::string& path) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(path.c_str());
  if (!dir) return names;
  while (struct dirent* entry = ::readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    names.emplace_back(entry->d_name);
  }
  ::closedir(dir);
  return names;
}

FileSystem& DefaultFileSystem() {
  if (FileSystem* f = g_installed.load(std::memory_order_acquire)) return *f;
  static LinuxFileSystem* machine = new LinuxFileSystem();
  return *machine;
}

void SetDefaultFileSystem(FileSystem* file_system) {
  g_installed.store(file_system, std::memory_order_release);
}

}  // namespace platform
