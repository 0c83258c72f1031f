#include "contacts/contact_sync.h"

#include "platform/json.h"
#include "platform/log.h"
#include "shell/selvo_global_preferences.h"

namespace contacts {
namespace {

using platform::Value;
using shell::SelvoGlobalPreferences;

Value Problem(const char* message) {
  Value error;
  error.Set("msg", message);
  return error;
}

}  // namespace

ContactSync::ContactSync(ContactRequests& requests, ContactDataManager& contacts,
                         BlacklistDataManager& blacklist, std::string ownId, std::string version)
    : requests_(requests),
      contacts_(contacts),
      blacklist_(blacklist),
      own_id_(std::move(ownId)),
      version_(std::move(version)) {}

void ContactSync::UnblockAllFriends() {
  std::vector<std::string> ids;
  for (const FriendItem& item : contacts_.FriendContactArray(own_id_)) ids.push_back(item.friendId);
  for (const std::string& id : ids) blacklist_.RemoveBlackItemById(id, own_id_);
}

void ContactSync::RefreshContacts(bool force, Done done) {
  if (!force && !SelvoGlobalPreferences::NeedUpdateContact()) {
    done(true, Value());
    return;
  }
  SelvoGlobalPreferences::SetNeedUpdateContact(false);
  requests_.GetContacts(
      [this, done](const Value& answer) {
        if (!contacts_.ReplaceContactFriendList(own_id_, answer, version_)) {
          SelvoGlobalPreferences::SetNeedUpdateContact(true);
          platform::Logf("failure JSON = %s", platform::ToJson(answer).c_str());
          done(false, Problem("the service sent a contact list that cannot be read"));
          return;
        }
        UnblockAllFriends();
        done(true, Value());
      },
      [done](const Value& error) {
        SelvoGlobalPreferences::SetNeedUpdateContact(true);
        platform::Logf("failure JSON = %s", platform::ToJson(error).c_str());
        done(false, error);
      });
}

void ContactSync::RefreshBlacklist(bool force, Done done) {
  if (!force && !SelvoGlobalPreferences::NeedUpdateBlacklist()) {
    done(true, Value());
    return;
  }
  SelvoGlobalPreferences::SetNeedUpdateBlacklist(false);
  requests_.GetBlackList(
      [this, done](const Value& answer) {
        if (!blacklist_.ReplaceBlacklist(own_id_, answer, version_)) {
          SelvoGlobalPreferences::SetNeedUpdateBlacklist(true);
          platform::Logf("get black list failure = %s", platform::ToJson(answer).c_str());
          done(false, Problem("the service sent a blacklist that cannot be read"));
          return;
        }
        std::vector<std::string> ids;
        for (const BlackItem& item : blacklist_.BlackArray(own_id_)) ids.push_back(item.blackId);
        for (const std::string& id : ids) contacts_.RemoveFriendItemById(id, own_id_);
        done(true, Value());
      },
      [done](const Value& error) {
        SelvoGlobalPreferences::SetNeedUpdateBlacklist(true);
        platform::Logf("get black list failure = %s", platform::ToJson(error).c_str());
        done(false, error);
      });
}

void ContactSync::MergeAddedContacts(const Value& answer) {
  contacts_.AddContactFriendList(own_id_, answer, version_);
  UnblockAllFriends();
}

void ContactSync::AddContacts(const std::vector<std::string>& internal,
                              const std::vector<std::string>& external, Done done) {
  requests_.AddContacts(
      internal, external,
      [this, done](const Value& answer) {
        MergeAddedContacts(answer);
        done(true, Value());
      },
      [done](const Value& error) {
        platform::Logf("failure json = %s", platform::ToJson(error).c_str());
        done(false, error);
      });
}

void ContactSync::AddFriend(const std::string& userId, Done done) {
  if (!blacklist_.IsBlack(userId, own_id_)) {
    AddContacts({userId}, {}, std::move(done));
    return;
  }
  // A friend is never blocked: unblocked here only, he would come back with
  // the service's next blacklist, which then drops him from the friends.
  requests_.RemoveUserFromBlackList(
      userId,
      [this, userId, done](const Value&) {
        blacklist_.RemoveBlackItemById(userId, own_id_);
        AddContacts({userId}, {}, done);
      },
      [done](const Value& error) {
        platform::Logf("remove from blacklist failed: %s", platform::ToJson(error).c_str());
        done(false, error);
      });
}

void ContactSync::AddGuests(const std::vector<std::string>& guests, Done done) {
  AddContacts({}, guests, std::move(done));
}

void ContactSync::RemoveContact(const std::string& idOrGuest, Done done) {
  const size_t hash = idOrGuest.find('#');
  const bool guest = hash != std::string::npos;
  std::vector<std::string> internal, external;
  (guest ? external : internal).push_back(idOrGuest);
  requests_.RemoveContacts(
      internal, external,
      [this, done, guest, hash, idOrGuest](const Value&) {
        if (guest) {
          const std::string provider = idOrGuest.substr(0, hash);
          const std::string identity = idOrGuest.substr(hash + 1);
          const auto& guests = contacts_.GuestContactArray(own_id_);
          for (size_t i = 0; i < guests.size(); ++i) {
            if (guests[i].provider == provider && guests[i].identity == identity) {
              contacts_.RemoveGuestItem(i, own_id_);
              break;
            }
          }
        } else {
          const auto& friends = contacts_.FriendContactArray(own_id_);
          for (size_t i = 0; i < friends.size(); ++i) {
            if (friends[i].friendId != idOrGuest) continue;
            const FriendItem removed = friends[i];
            contacts_.RemoveFriendItem(i, own_id_);
            if (friend_removed_) friend_removed_(removed);
            break;
          }
        }
        done(true, Value());
      },
      [done](const Value& error) {
        platform::Logf("remove contact failed: %s", platform::ToJson(error).c_str());
        done(false, error);
      });
}

void ContactSync::Block(const std::string& userId, const Text& screenName, const Text& avatarUrl,
                        Done done) {
  requests_.AddUserToBlackList(
      userId,
      [this, done, userId, screenName, avatarUrl](const Value&) {
        blacklist_.AddBlacklist(own_id_, userId, screenName, avatarUrl, version_);
        contacts_.RemoveFriendItemById(userId, own_id_);
        done(true, Value());
      },
      [done](const Value& error) {
        platform::Log("add to blacklist failed");
        done(false, error);
      });
}

void ContactSync::Unblock(const std::string& userId, Done done) {
  requests_.RemoveUserFromBlackList(
      userId,
      [this, done, userId](const Value&) {
        blacklist_.RemoveBlackItemById(userId, own_id_);
        done(true, Value());
      },
      [done](const Value& error) {
        platform::Logf("remove from blacklist failed: %s", platform::ToJson(error).c_str());
        done(false, error);
      });
}

}  // namespace contacts
