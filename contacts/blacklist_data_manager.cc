#include "contacts/blacklist_data_manager.h"

#include <algorithm>

#include "contacts/shared_manager.h"

namespace contacts {

BlacklistDataManager::BlacklistDataManager(std::string path, int busyTimeoutMs)
    : records_(std::move(path), busyTimeoutMs) {}

BlacklistDataManager& BlacklistDataManager::SharedInstance() {
  return SharedManager<BlacklistDataManager>(BlacklistStore::kFileName);
}

void BlacklistDataManager::ResetSharedInstance() { ResetSharedManager<BlacklistDataManager>(); }

const BlacklistData* BlacklistDataManager::GetBlacklistData(const std::string& ownId) {
  return records_.Find(ownId);
}

const Blacklist* BlacklistDataManager::GetBlacklist(const std::string& ownId) {
  return MutableList(ownId);
}

Blacklist* BlacklistDataManager::MutableList(const std::string& ownId) {
  BlacklistData* data = records_.Find(ownId);
  return data ? &data->blacklist : nullptr;
}

void BlacklistDataManager::AddBlackItems(Blacklist* list, const platform::Value& users) {
  for (size_t i = 0; i < users.size(); ++i) {
    if (users[i].is_dictionary()) list->blackItems.push_back(BlackItemFromUser(users[i]));
  }
}

void BlacklistDataManager::AddBlacklist(const std::string& ownId, const platform::Value& users,
                                        const std::string& version) {
  ReleaseBlacklistArray();
  Blacklist* list = MutableList(ownId);
  if (list == nullptr) {
    BlacklistData& data = records_.Replace({ownId, version, {}}, /*complete=*/false);
    AddBlackItems(&data.blacklist, users);
    records_.Persist(ownId);
    return;
  }
  for (size_t i = 0; i < users.size(); ++i) {
    if (!users[i].is_dictionary()) continue;
    BlackItem item = BlackItemFromUser(users[i]);
    auto it = std::find_if(list->blackItems.begin(), list->blackItems.end(),
                           [&](const BlackItem& old) { return old.blackId == item.blackId; });
    if (it != list->blackItems.end()) {
      *it = std::move(item);
    } else {
      list->blackItems.push_back(std::move(item));
    }
  }
  records_.Persist(ownId);
}

void BlacklistDataManager::AddBlacklist(const std::string& ownId, std::string_view blackId,
                                        const Text& screenName, const Text& avatarUrl,
                                        const std::string& version) {
  platform::Value user;
  user.Set("_id", std::string(blackId));
  if (screenName || avatarUrl) {
    platform::Value meta(platform::Value::Dictionary{});
    if (screenName) meta.Set("screen_name", *screenName);
    if (avatarUrl) meta.Set("avatar_url", *avatarUrl);
    user.Set("login_meta", std::move(meta));
  }
  platform::Value users(platform::Value::Array{});
  users.Append(std::move(user));
  AddBlacklist(ownId, users, version);
}

bool BlacklistDataManager::ReplaceBlacklist(const std::string& ownId, const platform::Value& users,
                                            const std::string& version) {
  if (!users.is_array()) return false;
  ReleaseBlacklistArray();
  BlacklistData fresh{ownId, version, {}};
  AddBlackItems(&fresh.blacklist, users);
  records_.Replace(std::move(fresh), /*complete=*/true);
  records_.Persist(ownId);
  return true;
}

void BlacklistDataManager::RemoveBlacklist(const std::string& ownId) {
  ReleaseBlacklistArray();
  records_.Remove(ownId);
  records_.Persist(ownId);
}

const std::vector<BlackItem>& BlacklistDataManager::BlackArray(const std::string& ownId) {
  const Blacklist* list = MutableList(ownId);
  return black_array_.Get(ownId, list ? &list->blackItems : nullptr,
                          [](const BlackItem& a, const BlackItem& b) {
                            return SortKeyLess(a.pinyinScreenName, b.pinyinScreenName);
                          });
}

bool BlacklistDataManager::IsBlack(std::string_view id, const Blacklist& list,
                                   const BlackItem** item) {
  if (id.empty()) return false;
  for (const BlackItem& black : list.blackItems) {
    if (black.blackId == id) {
      if (item) *item = &black;
      return true;
    }
  }
  return false;
}

bool BlacklistDataManager::IsBlack(std::string_view id, const std::string& ownId) {
  const Blacklist* list = MutableList(ownId);
  return list != nullptr && IsBlack(id, *list);
}

void BlacklistDataManager::RemoveBlackItem(size_t index, const std::string& ownId) {
  BlackArray(ownId);
  Blacklist* list = MutableList(ownId);
  if (list && black_array_.Erase(index, &list->blackItems)) records_.Persist(ownId);
}

void BlacklistDataManager::RemoveBlackItemById(std::string_view blackId, const std::string& ownId) {
  Blacklist* list = MutableList(ownId);
  if (list == nullptr) return;
  auto it = std::find_if(list->blackItems.begin(), list->blackItems.end(),
                         [&](const BlackItem& item) { return item.blackId == blackId; });
  if (it == list->blackItems.end()) return;
  list->blackItems.erase(it);
  ReleaseBlacklistArray();
  records_.Persist(ownId);
}

}  // namespace contacts
