// The records of the contact list and the blacklist, as kept in their stores:
// friends (users of the service, with the social-network identities bound to
// their accounts), guests (known only by a provider and an identity) and
// blocked users. Ids and identities are text; missing texts are none.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/value.h"

namespace contacts {

using Text = std::optional<std::string>;

struct BindItem {
  std::string provider;  // "email", "mobile", "weibo", "qzone", "renren"
  std::string identity;
  Text screenName;
  Text avatar;
  bool operator==(const BindItem&) const = default;
};

struct FriendItem {
  std::string friendId;
  Text screenName;
  Text pinyinScreenName;  // the sort key
  Text avatar;
  std::vector<BindItem> bindItems;
  bool operator==(const FriendItem&) const = default;
};

struct GuestItem {
  std::string provider;  // "mobile", "weibo", "renren"
  std::string identity;
  Text screenName;
  Text pinyinScreenName;
  Text avatar;
  bool operator==(const GuestItem&) const = default;
};

struct ContactFriendList {
  std::vector<FriendItem> friendItems;
  std::vector<GuestItem> guestItems;
  bool operator==(const ContactFriendList&) const = default;
};

// The root record: one per user who has signed in on the device.
struct ContactData {
  std::string userId;   // the owner of the list
  std::string version;  // the application version that created the record
  ContactFriendList contactFriendList;
  bool operator==(const ContactData&) const = default;
};

using BlackBindItem = BindItem;

struct BlackItem {
  std::string blackId;
  Text screenName;
  Text pinyinScreenName;
  Text avatar;
  std::vector<BlackBindItem> bindItems;
  bool operator==(const BlackItem&) const = default;
};

struct Blacklist {
  std::vector<BlackItem> blackItems;
  bool operator==(const Blacklist&) const = default;
};

struct BlacklistData {
  std::string userId;
  std::string version;
  Blacklist blacklist;
  bool operator==(const BlacklistData&) const = default;
};

// The sort key of a screen name: its Latin form without tone marks, lower
// case ("李明" gives "li ming"). None stays none.
Text ChangeScreenNameToPinyin(const Text& screenName);

// The order of sort keys: none first, then by code point.
bool SortKeyLess(const Text& a, const Text& b);

// From the service's objects. A user object is {"_id", "login_meta":
// {"screen_name", "avatar_url"}, "bindings": [{"provider", "identity",
// "screen_name", "avatar_url"}]}; a guest object has "provider", "identity",
// "screen_name" and "avatar_url". Numbers become decimal text.
FriendItem FriendItemFromUser(const platform::Value& user);
BlackItem BlackItemFromUser(const platform::Value& user);
GuestItem GuestItemFromGuest(const platform::Value& guest);

// A text value ("%@" of whatever the service sent), or none for null.
Text TextOf(const platform::Value& value);

}  // namespace contacts
