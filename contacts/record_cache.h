// RecordCache: the in-memory side of a contact or blacklist store, in the
// manner of an object-graph context. Each user's root record is read from
// the file on first use, edited in memory, and written back whole.
//
// A store that cannot be opened, read or written never ends the program: the
// error is logged ("Unresolved error ...") and kept in last_error(), and the
// application goes on with what it has in memory. A record that could not be
// read is never written back over what is on disk (that would drop the
// unread contacts); a record that could not be written stays pending and is
// tried again by the next write or by PersistAll.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "platform/log.h"

namespace contacts {

template <typename Record, typename Store>
class RecordCache {
 public:
  // Constructs the store from `args`.
  template <typename... Args>
  explicit RecordCache(Args&&... args) : store_(std::forward<Args>(args)...) {}

  // The user's record, or null when he has none.
  Record* Find(const std::string& userId) {
    auto it = records_.find(userId);
    if (it == records_.end()) {
      std::optional<Record> loaded;
      std::string error;
      if (!store_.Load(userId, &loaded, &error)) {
        Fail(error);
        unreadable_.insert(userId);
        return nullptr;  // read again next time
      }
      unreadable_.erase(userId);
      it = records_.emplace(userId, std::move(loaded)).first;
    }
    return it->second ? &*it->second : nullptr;
  }

  // Puts `record` in place of the user's record. A `complete` record (a full
  // refresh from the service) may be written even when the old one could not
  // be read.
  Record& Replace(Record record, bool complete) {
    const std::string userId = record.userId;
    if (complete) unreadable_.erase(userId);
    auto& slot = records_[userId];
    slot = std::move(record);
    return *slot;
  }

  void Remove(const std::string& userId) {
    unreadable_.erase(userId);
    records_[userId].reset();
  }

  // Writes the user's record (or its removal); false when it stays pending.
  bool Persist(const std::string& userId) {
    pending_.insert(userId);
    if (unreadable_.contains(userId)) {
      Fail("the stored record of user " + userId + " could not be read; changes kept in memory");
      return false;
    }
    std::string error;
    const auto& record = records_[userId];
    const bool saved = record ? store_.Save(*record, &error) : store_.Remove(userId, &error);
    if (!saved) {
      Fail(error);
      return false;
    }
    pending_.erase(userId);
    return true;
  }

  bool PersistAll() {
    bool all = true;
    const std::set<std::string> pending = pending_;
    for (const std::string& userId : pending) all = Persist(userId) && all;
    return all;
  }

  bool has_pending() const { return !pending_.empty(); }
  const std::string& last_error() const { return last_error_; }
  Store& store() { return store_; }

 private:
  void Fail(const std::string& error) {
    last_error_ = error;
    platform::Logf("Unresolved error %s", error.c_str());
  }

  Store store_;
  std::map<std::string, std::optional<Record>> records_;
  std::set<std::string> unreadable_;
  std::set<std::string> pending_;
  std::string last_error_;
};

}  // namespace contacts
