#include "contacts/contact_items.h"

#include "platform/transliterator.h"

namespace contacts {
namespace {

std::vector<BindItem> Bindings(const platform::Value& user) {
  std::vector<BindItem> binds;
  const platform::Value& bindings = user["bindings"];
  for (size_t i = 0; i < bindings.size(); ++i) {
    const platform::Value& binding = bindings[i];
    if (!binding.is_dictionary()) continue;
    binds.push_back({binding["provider"].AsString(), binding["identity"].AsString(),
                     TextOf(binding["screen_name"]), TextOf(binding["avatar_url"])});
  }
  return binds;
}

}  // namespace

Text TextOf(const platform::Value& value) {
  if (value.is_null()) return std::nullopt;
  return value.AsString();
}

bool SortKeyLess(const Text& a, const Text& b) {
  if (!a || !b) return !a && b;
  return *a < *b;
}

Text ChangeScreenNameToPinyin(const Text& screenName) {
  if (!screenName) return std::nullopt;
  platform::Transliterator& transliterator = platform::DefaultTransliterator();
  return transliterator.Lowercase(transliterator.MandarinToLatin(*screenName));
}

FriendItem FriendItemFromUser(const platform::Value& user) {
  FriendItem item;
  item.friendId = user["_id"].AsString();
  item.screenName = TextOf(user["login_meta"]["screen_name"]);
  item.pinyinScreenName = ChangeScreenNameToPinyin(item.screenName);
  item.avatar = TextOf(user["login_meta"]["avatar_url"]);
  item.bindItems = Bindings(user);
  return item;
}

BlackItem BlackItemFromUser(const platform::Value& user) {
  FriendItem person = FriendItemFromUser(user);
  return {std::move(person.friendId), std::move(person.screenName),
          std::move(person.pinyinScreenName), std::move(person.avatar),
          std::move(person.bindItems)};
}

GuestItem GuestItemFromGuest(const platform::Value& guest) {
  GuestItem item;
  item.provider = guest["provider"].AsString();
  item.identity = guest["identity"].AsString();
  item.screenName = TextOf(guest["screen_name"]);
  item.pinyinScreenName = ChangeScreenNameToPinyin(item.screenName);
  item.avatar = TextOf(guest["avatar_url"]);
  return item;
}

}  // namespace contacts
