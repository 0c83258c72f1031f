#include "app/recording_checks.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

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

bool SealUnfinishedRecording(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "r+b");
  if (!file) return false;
  bool sealed = false;
  uint8_t header[8];
  int64_t at = 0;
  while (std::fseek(file, at, SEEK_SET) == 0 && std::fread(header, 1, 8, file) == 8) {
    const uint32_t size = uint32_t{header[0]} << 24 | uint32_t{header[1]} << 16 |
                          uint32_t{header[2]} << 8 | header[3];
    const bool mdat = std::memcmp(header + 4, "mdat", 4) == 0;
    if (size == 0) {
      struct stat info;
      if (mdat && ::fstat(fileno(file), &info) == 0 && info.st_size - at <= INT32_MAX &&
          info.st_size - at >= 8) {
        const auto real = static_cast<uint32_t>(info.st_size - at);
        const uint8_t bytes[4] = {static_cast<uint8_t>(real >> 24),
                                  static_cast<uint8_t>(real >> 16), static_cast<uint8_t>(real >> 8),
                                  static_cast<uint8_t>(real)};
        sealed = std::fseek(file, at, SEEK_SET) == 0 && std::fwrite(bytes, 1, 4, file) == 4 &&
                 std::fflush(file) == 0 && ::fsync(fileno(file)) == 0;
      }
      break;
    }
    if (size < 8) break;  // a 64-bit size or damage: nothing to seal
    at += size;
  }
  std::fclose(file);
  return sealed;
}

std::optional<double> RecordingDuration(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return std::nullopt;
  std::optional<double> seconds;
  uint32_t size = 0;
  const int64_t moov = selvo::SeekToMediaTag(file, selvo::MakeTag("moov"), &size);
  static const selvo::MediaObjectTag kMvhd[] = {selvo::MakeTag("mvhd")};
  std::vector<uint32_t> offsets;
  uint8_t box[40];
  if (moov >= 0 && std::fseek(file, moov, SEEK_SET) == 0 &&
      selvo::SearchMediaObjects(file, size, kMvhd, 1, &offsets) && !offsets.empty() &&
      std::fseek(file, offsets[0], SEEK_SET) == 0 && std::fread(box, 1, sizeof box, file) >= 32) {
    auto be = [&](int at, int bytes) {
      uint64_t value = 0;
      for (int i = 0; i < bytes; ++i) value = value << 8 | box[at + i];
      return value;
    };
    // Header (8), version and flags (4), then the times: 32-bit in version 0, 64-bit in 1.
    const bool wide = box[8] == 1;
    const uint64_t timescale = wide ? be(28, 4) : be(20, 4);
    const uint64_t duration = wide ? be(32, 8) : be(24, 4);
    if (timescale > 0) seconds = static_cast<double>(duration) / static_cast<double>(timescale);
  }
  std::fclose(file);
  return seconds;
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
