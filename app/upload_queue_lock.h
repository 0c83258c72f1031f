// UploadQueueLock: one selvo process at a time changes a user's upload queue. The lock is
// an advisory lock on "uploadqueue_<user>.lock" in the documents directory, which also
// says which process holds it and which task it uploads, so that another command can ask
// that process to stop.
#pragma once

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>

namespace app {

class UploadQueueLock {
 public:
  struct Holder {
    pid_t pid = 0;
    std::string task_id;  // empty when it uploads nothing
  };

  // Takes the lock without waiting; null when another process holds it (then `holder`
  // says which, when it could be read).
  static std::unique_ptr<UploadQueueLock> TryTake(const std::string& documents,
                                                  const std::string& user_hex,
                                                  std::optional<Holder>* holder);
  // Waits up to `seconds` for the lock.
  static std::unique_ptr<UploadQueueLock> Take(const std::string& documents,
                                               const std::string& user_hex, int seconds);
  ~UploadQueueLock();
  UploadQueueLock(const UploadQueueLock&) = delete;
  UploadQueueLock& operator=(const UploadQueueLock&) = delete;

  // Says which task this process uploads now.
  void SetTask(const std::string& task_id);

 private:
  explicit UploadQueueLock(int fd) : fd_(fd) {}
  int fd_;
};

}  // namespace app
