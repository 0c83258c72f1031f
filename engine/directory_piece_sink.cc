#include "engine/directory_piece_sink.h"

#include <dirent.h>
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

// 1 if `path` is an empty directory, 0 if it holds something, -1 if it cannot be read.
int IsEmptyDirectory(const std::string& path) {
  DIR* dir = ::opendir(path.c_str());
  if (!dir) return -1;
  int empty = 1;
  while (const dirent* entry = ::readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
      empty = 0;
      break;
    }
  }
  ::closedir(dir);
  return empty;
}

}  // namespace

DirectoryPieceSink::DirectoryPieceSink(std::string directory) : directory_(std::move(directory)) {
  while (directory_.size() > 1 && directory_.back() == '/') directory_.pop_back();
}

DirectoryPieceSink::~DirectoryPieceSink() {
  if (writer_.joinable()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      quit_ = true;
    }
    changed_.notify_all();
    writer_.join();
  }
  Discard();
}

void DirectoryPieceSink::WriterLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return quit_ || busy_; });
    if (!busy_) return;  // quit with nothing to write
    const Job job = job_;
    lock.unlock();
    std::string error;
    const int fd = ::open(job.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
      error = "write " + job.path + " failed: " + std::strerror(errno);
    } else {
      const bool complete = WriteAll(fd, job.data, job.size);
      const int write_errno = errno;
      if (::close(fd) != 0 || !complete) {
        error = "write " + job.path + " failed: " + std::strerror(complete ? errno : write_errno);
        ::unlink(job.path.c_str());
      }
    }
    lock.lock();
    if (!error.empty()) {
      failed_ = true;
      error_ = error;
    }
    busy_ = false;
    changed_.notify_all();
  }
}

bool DirectoryPieceSink::WaitForWriter() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return !busy_; });
  return !failed_;
}

std::string DirectoryPieceSink::PieceName(uint32_t segment, uint32_t piece) {
  char name[40];
  std::snprintf(name, sizeof(name), "%06u-%02u.ts", segment, piece);
  return name;
}

SinkStatus DirectoryPieceSink::Open(const std::string&) {
  if (!staging_.empty()) return SinkStatus::kOk;  // reopened by a later pass
  struct stat info;
  if (::stat(directory_.c_str(), &info) == 0) {
    if (!S_ISDIR(info.st_mode)) {
      error_ = directory_ + " is not a directory";
      return SinkStatus::kFailed;
    }
    if (IsEmptyDirectory(directory_) != 1) {
      error_ = directory_ + " is not empty";
      return SinkStatus::kFailed;
    }
  }
  std::string pattern = directory_ + ".partial-XXXXXX";
  if (!::mkdtemp(pattern.data())) {
    error_ = "create " + pattern + " failed: " + std::strerror(errno);
    return SinkStatus::kFailed;
  }
  staging_ = pattern;
  return SinkStatus::kOk;
}

SinkStatus DirectoryPieceSink::Piece(uint32_t segment, uint32_t piece, const uint8_t* data,
                                     size_t size) {
  if (staging_.empty() || committed_) {
    error_ = "write piece failed: the stream is not open";
    return SinkStatus::kFailed;
  }
  if (!WaitForWriter()) return SinkStatus::kFailed;
  const std::string name = PieceName(segment, piece);
  if (written_.empty() || written_.back() != name) written_.push_back(name);
  if (!writer_.joinable()) writer_ = std::thread([this] { WriterLoop(); });
  {
    std::lock_guard<std::mutex> lock(mutex_);
    job_ = {staging_ + "/" + name, data, size};
    busy_ = true;
  }
  changed_.notify_all();
  return SinkStatus::kOk;
}

void DirectoryPieceSink::Close() {
  if (staging_.empty() || committed_ || !WaitForWriter()) return;
  // Replaces DIR if it is an empty directory (checked at Open).
  if (::rename(staging_.c_str(), directory_.c_str()) != 0) {
    error_ = "rename " + staging_ + " to " + directory_ + " failed: " + std::strerror(errno);
    return;
  }
  committed_ = true;
}

void DirectoryPieceSink::Discard() {
  if (staging_.empty() || committed_) return;
  WaitForWriter();
  for (const std::string& name : written_) ::unlink((staging_ + "/" + name).c_str());
  ::rmdir(staging_.c_str());
  staging_.clear();
  written_.clear();
}

}  // namespace selvo
