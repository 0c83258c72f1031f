// ContactDataManager: the signed-in user's contact list (friends and guests)
// as kept in "ContactData.sqlite": loading, merging answers of the service,
// sorting, matching and editing. One per process (SharedInstance), used on
// the main thread. Own ids and friend ids are texts.
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

class ContactDataManager {
 public:
  // A manager of the store file at `path`, opened on first use.
  explicit ContactDataManager(std::string path, int busyTimeoutMs = 2000);

  // The process's manager, on "ContactData.sqlite" in the documents directory.
  static ContactDataManager& SharedInstance();
  // Saves and drops the process's manager; the next SharedInstance opens the
  // store again (after the documents directory changed, say).
  static void ResetSharedInstance();

  const ContactData* GetContactData(const std::string& ownId);
  const ContactFriendList* GetContactFriendList(const std::string& ownId);

  // Merges a contact-list answer {"friend_list": [users], "guest_list":
  // [guests]} into the user's list, creating it (with `version`) when he has
  // none: a friend already listed is replaced by the new data, a new friend
  // takes the place of the guest he was known as, and guests already known
  // (as guests or by a friend's binding) are not added again.
  void AddContactFriendList(const std::string& ownId, const platform::Value& contactList,
                            const std::string& version);
  // A full refresh: builds a fresh list from the answer and puts it in place
  // of the old one in one write. A malformed answer changes nothing and
  // returns false.
  bool ReplaceContactFriendList(const std::string& ownId, const platform::Value& contactList,
                                const std::string& version);
  void RemoveContactFriendList(const std::string& ownId);

  // Friends by sort key; guests by provider, then sort key. Kept until the
  // list is merged again or the user logs out.
  const std::vector<FriendItem>& FriendContactArray(const std::string& ownId);
  const std::vector<GuestItem>& GuestContactArray(const std::string& ownId);

  struct Match {
    const FriendItem* friendItem = nullptr;
    const GuestItem* guestItem = nullptr;
  };
  // With provider "mobile", "weibo" or "renren": a guest of that provider and
  // identity, or a friend with such a binding. With any other provider, or
  // none: a friend with that id.
  bool IsFriend(std::string_view id, const std::optional<std::string>& provider,
                const std::string& ownId);
  static bool IsFriend(std::string_view id, const std::optional<std::string>& provider,
                       const ContactFriendList& list, Match* match = nullptr);
  // Guests only, by provider ("mobile", "weibo" or "renren") and identity.
  bool IsGuestFriend(std::string_view identity, const std::string& provider,
                     const std::string& ownId);
  static bool IsGuestFriend(std::string_view identity, const std::string& provider,
                            const ContactFriendList& list, Match* match = nullptr);

  // Removals by index into the sorted arrays; out of range does nothing.
  void RemoveFriendItem(size_t index, const std::string& ownId);
  void RemoveGuestItem(size_t index, const std::string& ownId);
  // Removes the first friend with that id; nothing when there is none.
  void RemoveFriendItemById(std::string_view friendId, const std::string& ownId);

  // Removes the first guest matching one of the user object's bindings.
  static void RemoveGuestItem(const platform::Value& user, ContactFriendList* list);
  static void AddFriendItems(ContactFriendList* list, const platform::Value& users);
  static void AddGuestItems(ContactFriendList* list, const platform::Value& guests);

  void ReleaseContactArray();
  void Logout() { ReleaseContactArray(); }
  // Writes what is still pending; false when something could not be written.
  bool SaveContext() { return records_.PersistAll(); }
  // The last store error, empty when there was none.
  const std::string& last_error() const { return records_.last_error(); }

 private:
  ContactFriendList* MutableList(const std::string& ownId);

  RecordCache<ContactData, ContactStore> records_;
  SortedItems<FriendItem> friend_array_;
  SortedItems<GuestItem> guest_array_;
};

}  // namespace contacts
