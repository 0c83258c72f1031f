// NotificationCenter: named notifications carrying an object and a user-info
// dictionary, posted to every observer of the name. There is one process-wide
// centre (Default()) and any number of private ones.
//
// Posting is synchronous: observers registered without a queue run on the
// posting thread before Post returns; observers registered with a queue get the
// notification submitted there. An observer removed (its Subscription destroyed)
// is not called by posts that start afterwards, even if it was in the middle of
// a post's list.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/value.h"

namespace platform {

class DispatchQueue;

struct Notification {
  std::string name;
  Value object;
  Value user_info;
};

class NotificationCenter {
 public:
  using Handler = std::function<void(const Notification&)>;

  // Keeps an observer registered for its lifetime.
  class Subscription {
   public:
    Subscription() = default;
    Subscription(Subscription&&) noexcept = default;
    Subscription& operator=(Subscription&& other) noexcept;
    ~Subscription();
    void Cancel();
    bool active() const;

   private:
    friend class NotificationCenter;
    struct Entry;
    explicit Subscription(std::shared_ptr<Entry> entry) : entry_(std::move(entry)) {}
    std::shared_ptr<Entry> entry_;
  };

  NotificationCenter();
  ~NotificationCenter();
  NotificationCenter(const NotificationCenter&) = delete;
  NotificationCenter& operator=(const NotificationCenter&) = delete;

  // The process-wide centre.
  static NotificationCenter& Default();

  // Observes notifications called `name` (every name when empty). With `queue`,
  // the handler runs there, asynchronously.
  [[nodiscard]] Subscription AddObserver(std::string name, Handler handler,
                                         DispatchQueue* queue = nullptr);

  void Post(const std::string& name, Value object = {}, Value user_info = {});
  void Post(const Notification& notification);

  size_t observer_count() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<Subscription::Entry>> entries_;
};

}  // namespace platform
