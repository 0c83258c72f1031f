// BlacklistDataManager: the users the signed-in user has blocked, as kept in
// "BlacklistData.sqlite". One per process (SharedInstance), used on the main
// thread.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "contacts/contact_items.h"
#include "contacts/contact_stores.h"
#include "contacts/record_cache.h"
#include "contacts/sorted_items.h"
#include "platform/value.h"

namespace contacts {

class BlacklistDataManager {
 public:
  explicit BlacklistDataManager(std::string path, int busyTimeoutMs = 2000);

  // The process's manager, on "BlacklistData.sqlite" in the documents directory.
  static BlacklistDataManager& SharedInstance();
  static void ResetSharedInstance();

  const BlacklistData* GetBlacklistData(const std::string& ownId);
  const Blacklist* GetBlacklist(const std::string& ownId);

  // Merges user objects: one with a blocked id already listed replaces it.
  // Creates the user's blacklist (with `version`) when he has none.
  void AddBlacklist(const std::string& ownId, const platform::Value& users,
                    const std::string& version);
  // Blocks one user, known by id and, when given, screen name and avatar.
  void AddBlacklist(const std::string& ownId, std::string_view blackId, const Text& screenName,
                    const Text& avatarUrl, const std::string& version);
  // A full refresh: a fresh blacklist from the answer (an array of user
  // objects) in place of the old one, in one write. Anything but an array
  // changes nothing and returns false.
  bool ReplaceBlacklist(const std::string& ownId, const platform::Value& users,
                        const std::string& version);
  void RemoveBlacklist(const std::string& ownId);

  // Blocked users by sort key, kept until the next merge or logout.
  const std::vector<BlackItem>& BlackArray(const std::string& ownId);

  bool IsBlack(std::string_view id, const std::string& ownId);
  static bool IsBlack(std::string_view id, const Blacklist& list, const BlackItem** item = nullptr);

  // Removal by index into BlackArray; out of range does nothing.
  void RemoveBlackItem(size_t index, const std::string& ownId);
  // Removes the user with that id; nothing when he is not blocked.
  void RemoveBlackItemById(std::string_view blackId, const std::string& ownId);
  static void AddBlackItems(Blacklist* list, const platform::Value& users);

  void ReleaseBlacklistArray() { black_array_.Release(); }
  void Logout() { ReleaseBlacklistArray(); }
  bool SaveContext() { return records_.PersistAll(); }
  const std::string& last_error() const { return records_.last_error(); }

 private:
  Blacklist* MutableList(const std::string& ownId);

  RecordCache<BlacklistData, BlacklistStore> records_;
  SortedItems<BlackItem> black_array_;
};

}  // namespace contacts
