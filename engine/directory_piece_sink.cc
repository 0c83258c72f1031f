#include "engine/directory_piece_sink.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace selvo {

namespace {

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

DirectoryPieceSink::DirectoryPieceSink(std::string directory) : directory_(std::move(directory)) {}

DirectoryPieceSink::~DirectoryPieceSink() = default;

std::string DirectoryPieceSink::PieceName(uint32_t segment, uint32_t piece) {
  char name[40];
  std::snprintf(name, sizeof(name), "%06u-%02u.ts", segment, piece);
  return name;
}

SinkStatus DirectoryPieceSink::Open(const std::string&) {
  struct stat info;
  if (::stat(directory_.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) return SinkStatus::kOk;
    error_ = directory_ + " is not a directory";
    return SinkStatus::kFailed;
  }
  if (::mkdir(directory_.c_str(), 0777) != 0 && errno != EEXIST) {
    error_ = "create " + directory_ + " failed: " + std::strerror(errno);
    return SinkStatus::kFailed;
  }
  created_directory_ = true;
  return SinkStatus::kOk;
}

SinkStatus DirectoryPieceSink::Piece(uint32_t segment, uint32_t piece, const uint8_t* data,
                                     size_t size) {
  const std::string name = PieceName(segment, piece);
  const std::string path = directory_ + "/" + name;
  const std::string temporary = directory_ + "/." + name + ".partial";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    error_ = "write " + temporary + " failed: " + std::strerror(errno);
    return SinkStatus::kFailed;
  }
  const bool written = WriteAll(fd, data, size);
  const int write_errno = errno;
  if (::close(fd) != 0 || !written) {
    error_ = "write " + temporary + " failed: " + std::strerror(written ? errno : write_errno);
    ::unlink(temporary.c_str());
    return SinkStatus::kFailed;
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    error_ = "rename " + temporary + " failed: " + std::strerror(errno);
    ::unlink(temporary.c_str());
    return SinkStatus::kFailed;
  }
  written_.push_back(path);
  return SinkStatus::kOk;
}

void DirectoryPieceSink::Close() { closed_ = true; }

void DirectoryPieceSink::Discard() {
  for (const std::string& path : written_) ::unlink(path.c_str());
  written_.clear();
  if (created_directory_) ::rmdir(directory_.c_str());
}

}  // namespace selvo
