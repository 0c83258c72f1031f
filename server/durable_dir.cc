#include "server/durable_dir.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/linux/linux_file_system.h"

namespace server {
namespace {

std::string ErrorText(const std::string& what) { return what + ": " + std::strerror(errno); }

}  // namespace

bool DurableDir::IsSafeName(std::string_view name) {
  if (name.empty() || name == "." || name == ".." || name.size() > 128) return false;
  for (char c : name) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '.' || c == '_' || c == '-';
    if (!ok) return false;
  }
  return true;
}

std::string DurableDir::FilePath(std::string_view name) const {
  return path_ + "/" + std::string(name);
}

bool DurableDir::Exists() const {
  struct stat st;
  return ::stat(path_.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool DurableDir::Create(std::string* error) {
  // Create each missing component, then flush its parent so the entry stays.
  for (size_t slash = 1; slash != std::string::npos;) {
    slash = path_.find('/', slash + 1);
    std::string prefix = path_.substr(0, slash);
    if (::mkdir(prefix.c_str(), 0700) == 0) {
      std::string parent = prefix.substr(0, prefix.rfind('/'));
      if (parent.empty()) parent = "/";
      if (!platform::SyncDirectory(parent, error)) return false;
    } else if (errno != EEXIST) {
      if (error) *error = ErrorText("mkdir " + prefix);
      return false;
    }
  }
  return true;
}

bool DurableDir::WriteFile(std::string_view name, std::string_view data, std::string* error) {
  if (!IsSafeName(name)) {
    if (error) *error = "unsafe file name";
    return false;
  }
  return platform::ReplaceFile(FilePath(name), data, 0600, error) &&
         platform::SyncDirectory(path_, error);
}

bool DurableDir::Append(std::string_view name, std::string_view data, std::string* error) {
  if (!IsSafeName(name)) {
    if (error) *error = "unsafe file name";
    return false;
  }
  std::string path = FilePath(name);
  struct stat st;
  bool fresh = ::stat(path.c_str(), &st) != 0;
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) {
    if (error) *error = ErrorText("open " + path);
    return false;
  }
  bool ok = platform::WriteAll(fd, data) && ::fdatasync(fd) == 0;
  if (!ok && error) *error = ErrorText("append " + path);
  ::close(fd);
  if (ok && fresh) ok = platform::SyncDirectory(path_, error);
  return ok;
}

std::optional<std::string> DurableDir::ReadFile(std::string_view name) const {
  if (!IsSafeName(name)) return std::nullopt;
  return platform::ReadWholeFile(FilePath(name));
}

bool DurableDir::Truncate(std::string_view name, size_t size) {
  if (!IsSafeName(name)) return false;
  int fd = ::open(FilePath(name).c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::ftruncate(fd, static_cast<off_t>(size)) == 0 && ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

void DurableDir::RemoveAll() {
  if (DIR* dir = ::opendir(path_.c_str())) {
    while (dirent* entry = ::readdir(dir)) {
      std::string_view name = entry->d_name;
      if (name == "." || name == "..") continue;
      ::unlink(FilePath(name).c_str());
    }
    ::closedir(dir);
  }
  ::rmdir(path_.c_str());
}

}  // namespace server
