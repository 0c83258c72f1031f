// Shared by the dispatcher implementations: which queue the calling thread runs.
#pragma once

#include "platform/dispatch.h"

namespace platform::internal {

// Marks the calling thread as running a block of `queue` for the scope's life.
class CurrentQueueScope {
 public:
  explicit CurrentQueueScope(const DispatchQueue* queue);
  ~CurrentQueueScope();
  CurrentQueueScope(const CurrentQueueScope&) = delete;
  CurrentQueueScope& operator=(const CurrentQueueScope&) = delete;

 private:
  const DispatchQueue* saved_;
};

const DispatchQueue* CurrentQueue();

}  // namespace platform::internal
