#include "app/upload_queue_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace app {

namespace {

std::string LockPath(const std::string& documents, const std::string& user_hex) {
  return documents + "/uploadqueue_" + user_hex + ".lock";
}

std::optional<UploadQueueLock::Holder> ReadHolder(int fd) {
  char text[512] = {};
  const ssize_t n = ::pread(fd, text, sizeof(text) - 1, 0);
  if (n <= 0) return std::nullopt;
  UploadQueueLock::Holder holder;
  char* end = nullptr;
  holder.pid = static_cast<pid_t>(std::strtol(text, &end, 10));
  if (holder.pid <= 0) return std::nullopt;
  if (*end == ' ') holder.task_id = std::string(end + 1);
  while (!holder.task_id.empty() && holder.task_id.back() == '\n') holder.task_id.pop_back();
  return holder;
}

}  // namespace

std::unique_ptr<UploadQueueLock> UploadQueueLock::TryTake(const std::string& documents,
                                                          const std::string& user_hex,
                                                          std::optional<Holder>* holder) {
  const int fd = ::open(LockPath(documents, user_hex).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return nullptr;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (holder) *holder = ReadHolder(fd);
    ::close(fd);
    return nullptr;
  }
  std::unique_ptr<UploadQueueLock> lock(new UploadQueueLock(fd));
  lock->SetTask("");
  return lock;
}

std::unique_ptr<UploadQueueLock> UploadQueueLock::Take(const std::string& documents,
                                                       const std::string& user_hex, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  for (;;) {
    if (auto lock = TryTake(documents, user_hex, nullptr)) return lock;
    if (std::chrono::steady_clock::now() >= deadline) return nullptr;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

UploadQueueLock::~UploadQueueLock() {
  if (::ftruncate(fd_, 0) != 0) {
    // The next holder writes its own line anyway.
  }
  ::close(fd_);  // releases the lock
}

void UploadQueueLock::SetTask(const std::string& task_id) {
  char text[512];
  const int n =
      std::snprintf(text, sizeof(text), "%d %s\n", static_cast<int>(::getpid()), task_id.c_str());
  if (::ftruncate(fd_, 0) == 0 && n > 0) {
    if (::pwrite(fd_, text, static_cast<size_t>(n), 0) != n) {
      // Only informative: a reader then cannot tell which task is uploading.
    }
  }
}

}  // namespace app
