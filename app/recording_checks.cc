#include "app/recording_checks.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/box_reader.h"
#include "engine/task_files.h"

namespace app {

std::string CheckRecording(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) return "cannot read " + path + ": " + std::strerror(errno);
  if (!S_ISREG(info.st_mode)) return path + " is not a file";
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return "cannot read " + path + ": " + std::strerror(errno);
  uint32_t size = 0;
  const int64_t mdat = selvo::SeekToMediaTag(file, selvo::MakeTag("mdat"), &size);
  std::fclose(file);
  if (mdat < 0) return path + " holds no media data (no 'mdat' box)";
  return "";
}

std::string CheckQueuedPath(const std::string& path) {
  for (unsigned char c : path) {
    if (c < 0x20 || c == 0x7F)
      return path + ": control characters cannot be kept in the upload queue";
  }
  if (selvo::EscapeField(path).size() > 255) return path + " is too long for the upload queue";
  return "";
}

std::string AbsolutePath(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

}  // namespace app
