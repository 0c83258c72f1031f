#include "contacts/contact_data_manager.h"

#include <algorithm>

#include "contacts/shared_manager.h"

namespace contacts {
namespace {

bool IsGuestProvider(std::string_view provider) {
  return provider == "mobile" || provider == "weibo" || provider == "renren";
}

bool ValidContactList(const platform::Value& answer) {
  if (!answer.is_dictionary()) return false;
  const bool friends = answer.Contains("friend_list");
  const bool guests = answer.Contains("guest_list");
  if (!friends && !guests) return false;
  if (friends && !answer["friend_list"].is_array()) return false;
  if (guests && !answer["guest_list"].is_array()) return false;
  return true;
}

}  // namespace

ContactDataManager::ContactDataManager(std::string path, int busyTimeoutMs)
    : records_(std::move(path), busyTimeoutMs) {}

ContactDataManager& ContactDataManager::SharedInstance() {
  return SharedManager<ContactDataManager>(ContactStore::kFileName);
}

void ContactDataManager::ResetSharedInstance() { ResetSharedManager<ContactDataManager>(); }

const ContactData* ContactDataManager::GetContactData(const std::string& ownId) {
  return records_.Find(ownId);
}

const ContactFriendList* ContactDataManager::GetContactFriendList(const std::string& ownId) {
  return MutableList(ownId);
}

ContactFriendList* ContactDataManager::MutableList(const std::string& ownId) {
  ContactData* data = records_.Find(ownId);
  return data ? &data->contactFriendList : nullptr;
}

void ContactDataManager::AddFriendItems(ContactFriendList* list, const platform::Value& users) {
  for (size_t i = 0; i < users.size(); ++i) {
    if (users[i].is_dictionary()) list->friendItems.push_back(FriendItemFromUser(users[i]));
  }
}

void ContactDataManager::AddGuestItems(ContactFriendList* list, const platform::Value& guests) {
  for (size_t i = 0; i < guests.size(); ++i) {
    if (guests[i].is_dictionary()) list->guestItems.push_back(GuestItemFromGuest(guests[i]));
  }
}

void ContactDataManager::AddContactFriendList(const std::string& ownId,
                                              const platform::Value& contactList,
                                              const std::string& version) {
  ReleaseContactArray();
  const platform::Value& friends = contactList["friend_list"];
  const platform::Value& guests = contactList["guest_list"];
  ContactFriendList* list = MutableList(ownId);
  if (list == nullptr) {
    ContactData& data = records_.Replace({ownId, version, {}}, /*complete=*/false);
    AddFriendItems(&data.contactFriendList, friends);
    AddGuestItems(&data.contactFriendList, guests);
    records_.Persist(ownId);
    return;
  }
  for (size_t i = 0; i < friends.size(); ++i) {
    const platform::Value& user = friends[i];
    if (!user.is_dictionary()) continue;
    Match match;
    if (IsFriend(user["_id"].AsString(), std::nullopt, *list, &match)) {
      list->friendItems.erase(list->friendItems.begin() +
                              (match.friendItem - list->friendItems.data()));
    }
    list->friendItems.push_back(FriendItemFromUser(user));
    RemoveGuestItem(user, list);
  }
  for (size_t i = 0; i < guests.size(); ++i) {
    const platform::Value& guest = guests[i];
    if (!guest.is_dictionary()) continue;
    if (!IsFriend(guest["identity"].AsString(), guest["provider"].AsString(), *list)) {
      list->guestItems.push_back(GuestItemFromGuest(guest));
    }
  }
  records_.Persist(ownId);
}

bool ContactDataManager::ReplaceContactFriendList(const std::string& ownId,
                                                  const platform::Value& contactList,
                                                  const std::string& version) {
  if (!ValidContactList(contactList)) return false;
  ReleaseContactArray();
  ContactData fresh{ownId, version, {}};
  AddFriendItems(&fresh.contactFriendList, contactList["friend_list"]);
  AddGuestItems(&fresh.contactFriendList, contactList["guest_list"]);
  records_.Replace(std::move(fresh), /*complete=*/true);
  records_.Persist(ownId);
  return true;
}

void ContactDataManager::RemoveContactFriendList(const std::string& ownId) {
  ReleaseContactArray();
  records_.Remove(ownId);
  records_.Persist(ownId);
}

const std::vector<FriendItem>& ContactDataManager::FriendContactArray(const std::string& ownId) {
  const ContactFriendList* list = MutableList(ownId);
  return friend_array_.Get(ownId, list ? &list->friendItems : nullptr,
                           [](const FriendItem& a, const FriendItem& b) {
                             return SortKeyLess(a.pinyinScreenName, b.pinyinScreenName);
                           });
}

const std::vector<GuestItem>& ContactDataManager::GuestContactArray(const std::string& ownId) {
  const ContactFriendList* list = MutableList(ownId);
  return guest_array_.Get(ownId, list ? &list->guestItems : nullptr,
                          [](const GuestItem& a, const GuestItem& b) {
                            if (a.provider != b.provider) return a.provider < b.provider;
                            return SortKeyLess(a.pinyinScreenName, b.pinyinScreenName);
                          });
}

bool ContactDataManager::IsFriend(std::string_view id, const std::optional<std::string>& provider,
                                  const ContactFriendList& list, Match* match) {
  if (id.empty()) return false;
  if (provider && IsGuestProvider(*provider)) {
    // A guest is a provider and an identity together: the same number at
    // another network is another person.
    for (const GuestItem& guest : list.guestItems) {
      if (guest.provider == *provider && guest.identity == id) {
        if (match) *match = {nullptr, &guest};
        return true;
      }
    }
    for (const FriendItem& item : list.friendItems) {
      for (const BindItem& bind : item.bindItems) {
        if (bind.provider == *provider && bind.identity == id) {
          if (match) *match = {&item, nullptr};
          return true;
        }
      }
    }
    return false;
  }
  for (const FriendItem& item : list.friendItems) {
    if (item.friendId == id) {
      if (match) *match = {&item, nullptr};
      return true;
    }
  }
  return false;
}

bool ContactDataManager::IsFriend(std::string_view id, const std::optional<std::string>& provider,
                                  const std::string& ownId) {
  const ContactFriendList* list = MutableList(ownId);
  return list != nullptr && IsFriend(id, provider, *list);
}

bool ContactDataManager::IsGuestFriend(std::string_view identity, const std::string& provider,
                                       const ContactFriendList& list, Match* match) {
  if (identity.empty() || !IsGuestProvider(provider)) return false;
  for (const GuestItem& guest : list.guestItems) {
    if (guest.provider == provider && guest.identity == identity) {
      if (match) *match = {nullptr, &guest};
      return true;
    }
  }
  return false;
}

bool ContactDataManager::IsGuestFriend(std::string_view identity, const std::string& provider,
                                       const std::string& ownId) {
  const ContactFriendList* list = MutableList(ownId);
  return list != nullptr && IsGuestFriend(identity, provider, *list);
}

void ContactDataManager::RemoveGuestItem(const platform::Value& user, ContactFriendList* list) {
  const platform::Value& bindings = user["bindings"];
  for (size_t i = 0; i < bindings.size(); ++i) {
    const std::string provider = bindings[i]["provider"].AsString();
    const std::string identity = bindings[i]["identity"].AsString();
    auto it =
        std::find_if(list->guestItems.begin(), list->guestItems.end(), [&](const GuestItem& guest) {
          return guest.provider == provider && guest.identity == identity;
        });
    if (it != list->guestItems.end()) {
      list->guestItems.erase(it);
      return;
    }
  }
}

void ContactDataManager::RemoveFriendItem(size_t index, const std::string& ownId) {
  FriendContactArray(ownId);
  ContactFriendList* list = MutableList(ownId);
  if (list && friend_array_.Erase(index, &list->friendItems)) records_.Persist(ownId);
}

void ContactDataManager::RemoveGuestItem(size_t index, const std::string& ownId) {
  GuestContactArray(ownId);
  ContactFriendList* list = MutableList(ownId);
  if (list && guest_array_.Erase(index, &list->guestItems)) records_.Persist(ownId);
}

void ContactDataManager::RemoveFriendItemById(std::string_view friendId, const std::string& ownId) {
  ContactFriendList* list = MutableList(ownId);
  if (list == nullptr) return;
  auto it = std::find_if(list->friendItems.begin(), list->friendItems.end(),
                         [&](const FriendItem& item) { return item.friendId == friendId; });
  if (it == list->friendItems.end()) return;
  list->friendItems.erase(it);
  ReleaseContactArray();
  records_.Persist(ownId);
}

void ContactDataManager::ReleaseContactArray() {
  friend_array_.Release();
  guest_array_.Release();
}

}  // namespace contacts
