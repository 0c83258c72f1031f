#include "platform/notification_center.h"

#include <algorithm>
#include <atomic>

#include "platform/dispatch.h"

namespace platform {

struct NotificationCenter::Subscription::Entry {
  std::string name;
  Handler handler;
  DispatchQueue* queue = nullptr;
  std::atomic<bool> active{true};
  std::atomic<NotificationCenter*> center{nullptr};  // cleared when the centre goes away
};

NotificationCenter::Subscription& NotificationCenter::Subscription::operator=(
    Subscription&& other) noexcept {
  if (this != &other) {
    Cancel();
    entry_ = std::move(other.entry_);
  }
  return *this;
}

NotificationCenter::Subscription::~Subscription() { Cancel(); }

bool NotificationCenter::Subscription::active() const { return entry_ && entry_->active.load(); }

void NotificationCenter::Subscription::Cancel() {
  if (!entry_) return;
  entry_->active.store(false);
  // The centre may be gone already; entries outlive it only as inactive husks.
  if (NotificationCenter* center = entry_->center.load()) {
    std::lock_guard lock(center->mutex_);
    auto& entries = center->entries_;
    entries.erase(std::remove(entries.begin(), entries.end(), entry_), entries.end());
  }
  entry_.reset();
}

NotificationCenter::NotificationCenter() = default;

NotificationCenter::~NotificationCenter() {
  std::lock_guard lock(mutex_);
  for (auto& entry : entries_) entry->center = nullptr;
}

NotificationCenter& NotificationCenter::Default() {
  static NotificationCenter* center = new NotificationCenter();  // lives as long as the process
  return *center;
}

NotificationCenter::Subscription NotificationCenter::AddObserver(std::string name, Handler handler,
                                                                 DispatchQueue* queue) {
  auto entry = std::make_shared<Subscription::Entry>();
  entry->name = std::move(name);
  entry->handler = std::move(handler);
  entry->queue = queue;
  entry->center = this;
  std::lock_guard lock(mutex_);
  entries_.push_back(entry);
  return Subscription(entry);
}

void NotificationCenter::Post(const std::string& name, Value object, Value user_info) {
  Post(Notification{name, std::move(object), std::move(user_info)});
}

void NotificationCenter::Post(const Notification& notification) {
  std::vector<std::shared_ptr<Subscription::Entry>> targets;
  {
    std::lock_guard lock(mutex_);
    for (const auto& entry : entries_) {
      if (entry->name.empty() || entry->name == notification.name) targets.push_back(entry);
    }
  }
  for (const auto& entry : targets) {
    if (!entry->active.load()) continue;
    if (entry->queue) {
      entry->queue->Async([entry, notification] {
        if (entry->active.load()) entry->handler(notification);
      });
    } else {
      entry->handler(notification);
    }
  }
}

size_t NotificationCenter::observer_count() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

}  // namespace platform
