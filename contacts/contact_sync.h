// ContactSync: keeps the signed-in user's contact and blacklist stores in step
// with the service: full refreshes (once per launch and logout, by the
// "NeedUpdateContact" and "NeedUpdateBlacklist" flags, or when forced), and
// the user's own additions, removals, blocks and unblocks, each applied to
// the local stores once the service has accepted it. The two stores stay
// disjoint: a friend is never blocked and a blocked user never a friend.
#pragma once

#include <functional>
#include <string>

#include "contacts/blacklist_data_manager.h"
#include "contacts/contact_data_manager.h"
#include "contacts/contact_requests.h"

namespace contacts {

class ContactSync {
 public:
  // Called once with the outcome: ok, and the error JSON when not ok.
  using Done = std::function<void(bool ok, const platform::Value& error)>;

  // `version` is the running application's version, recorded in new records.
  ContactSync(ContactRequests& requests, ContactDataManager& contacts,
              BlacklistDataManager& blacklist, std::string ownId, std::string version);

  // Full refreshes; without `force` only when the store's flag asks for one.
  // A failed or malformed answer keeps the stored list and sets the flag again.
  void RefreshContacts(bool force, Done done);
  void RefreshBlacklist(bool force, Done done);

  // Adds a user of the service as a friend; one who is blocked is unblocked
  // on the service first.
  void AddFriend(const std::string& userId, Done done);
  // Adds guests ("provider#identity#screen name#avatar URL") to the contacts.
  void AddGuests(const std::vector<std::string>& guests, Done done);
  // Removes a friend (by user id) or a guest ("provider#identity").
  void RemoveContact(const std::string& idOrGuest, Done done);
  // Blocks a user (and drops him from the friends); the names are kept for
  // display when given.
  void Block(const std::string& userId, const Text& screenName, const Text& avatarUrl, Done done);
  void Unblock(const std::string& userId, Done done);

  // Called after a friend was removed locally, with his id and avatar URL, so
  // that his cached avatar can go too.
  void SetFriendRemovedHandler(std::function<void(const FriendItem&)> handler) {
    friend_removed_ = std::move(handler);
  }

 private:
  void UnblockAllFriends();
  void MergeAddedContacts(const platform::Value& answer);
  void AddContacts(const std::vector<std::string>& internal,
                   const std::vector<std::string>& external, Done done);

  ContactRequests& requests_;
  ContactDataManager& contacts_;
  BlacklistDataManager& blacklist_;
  const std::string own_id_;
  const std::string version_;
  std::function<void(const FriendItem&)> friend_removed_;
};

}  // namespace contacts
