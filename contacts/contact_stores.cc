#include "contacts/contact_stores.h"

#include "store/sqlite_statement.h"

namespace contacts {
namespace {

using store::SqliteStatement;

constexpr char kContactSchema[] = R"(
CREATE TABLE IF NOT EXISTS contact_data(
  id INTEGER PRIMARY KEY, user_id TEXT NOT NULL UNIQUE, version TEXT);
CREATE TABLE IF NOT EXISTS friend_item(
  id INTEGER PRIMARY KEY,
  contact_data_id INTEGER NOT NULL REFERENCES contact_data(id) ON DELETE CASCADE,
  friend_id TEXT NOT NULL, screen_name TEXT, pinyin_screen_name TEXT, avatar TEXT);
CREATE INDEX IF NOT EXISTS friend_item_owner ON friend_item(contact_data_id);
CREATE TABLE IF NOT EXISTS bind_item(
  id INTEGER PRIMARY KEY,
  person_id INTEGER NOT NULL REFERENCES friend_item(id) ON DELETE CASCADE,
  provider TEXT NOT NULL, identity TEXT NOT NULL, screen_name TEXT, avatar TEXT);
CREATE INDEX IF NOT EXISTS bind_item_owner ON bind_item(person_id);
CREATE TABLE IF NOT EXISTS guest_item(
  id INTEGER PRIMARY KEY,
  contact_data_id INTEGER NOT NULL REFERENCES contact_data(id) ON DELETE CASCADE,
  provider TEXT NOT NULL, identity TEXT NOT NULL, screen_name TEXT, pinyin_screen_name TEXT,
  avatar TEXT);
CREATE INDEX IF NOT EXISTS guest_item_owner ON guest_item(contact_data_id);
)";

constexpr char kBlacklistSchema[] = R"(
CREATE TABLE IF NOT EXISTS blacklist_data(
  id INTEGER PRIMARY KEY, user_id TEXT NOT NULL UNIQUE, version TEXT);
CREATE TABLE IF NOT EXISTS black_item(
  id INTEGER PRIMARY KEY,
  blacklist_data_id INTEGER NOT NULL REFERENCES blacklist_data(id) ON DELETE CASCADE,
  black_id TEXT NOT NULL, screen_name TEXT, pinyin_screen_name TEXT, avatar TEXT);
CREATE INDEX IF NOT EXISTS black_item_owner ON black_item(blacklist_data_id);
CREATE TABLE IF NOT EXISTS black_bind_item(
  id INTEGER PRIMARY KEY,
  person_id INTEGER NOT NULL REFERENCES black_item(id) ON DELETE CASCADE,
  provider TEXT NOT NULL, identity TEXT NOT NULL, screen_name TEXT, avatar TEXT);
CREATE INDEX IF NOT EXISTS black_bind_item_owner ON black_bind_item(person_id);
)";

constexpr PeopleTables kFriends{"friend_item", "friend_id", "bind_item", "contact_data_id"};
constexpr PeopleTables kBlocked{"black_item", "black_id", "black_bind_item", "blacklist_data_id"};

Text ColumnText(const SqliteStatement& row, int column) {
  if (row.IsNull(column)) return std::nullopt;
  return row.Text(column);
}

bool ReadVersion(RecordFile& file, const char* table, int64_t rootId, std::string* version,
                 std::string* error) {
  SqliteStatement row(file.db(), std::string("select version from ") + table + " where id=:id");
  row.Bind(":id", rootId);
  if (row.Next()) {
    *version = row.Text(0);
    return true;
  }
  if (error) *error = file.LastError();
  return false;
}

}  // namespace

ContactStore::ContactStore(std::string path, int busyTimeoutMs)
    : file_(std::move(path), kContactSchema, busyTimeoutMs) {}

bool ContactStore::UserIds(std::vector<std::string>* ids, std::string* error) {
  return file_.Open(error) && file_.UserIds("contact_data", ids, error);
}

bool ContactStore::Load(const std::string& userId, std::optional<ContactData>* data,
                        std::string* error) {
  data->reset();
  if (!file_.Open(error)) return false;
  std::string why;
  std::optional<int64_t> root = file_.RootId("contact_data", userId, &why);
  if (!root) {
    if (why.empty()) return true;  // no record
    if (error) *error = why;
    return false;
  }
  ContactData record;
  record.userId = userId;
  std::vector<PersonRow> friends;
  if (!ReadVersion(file_, "contact_data", *root, &record.version, error) ||
      !LoadPeople(file_, kFriends, *root, &friends, error)) {
    return false;
  }
  for (PersonRow& person : friends) {
    record.contactFriendList.friendItems.push_back(
        {std::move(person.id), std::move(person.screenName), std::move(person.pinyinScreenName),
         std::move(person.avatar), std::move(person.bindItems)});
  }
  SqliteStatement row(file_.db(),
                      "select provider,identity,screen_name,pinyin_screen_name,avatar from "
                      "guest_item where contact_data_id=:root order by id");
  row.Bind(":root", *root);
  while (row.Next()) {
    record.contactFriendList.guestItems.push_back(
        {row.Text(0), row.Text(1), ColumnText(row, 2), ColumnText(row, 3), ColumnText(row, 4)});
  }
  if (row.failed()) {
    if (error) *error = file_.LastError();
    return false;
  }
  *data = std::move(record);
  return true;
}

bool ContactStore::Save(const ContactData& data, std::string* error) {
  if (!file_.Open(error)) return false;
  store::SqliteTransaction transaction(file_.db());
  if (!transaction.began()) {
    if (error) *error = file_.LastError();
    return false;
  }
  std::optional<int64_t> root = file_.ReplaceRoot("contact_data", data.userId, data.version, error);
  if (!root) return false;
  std::vector<PersonRow> friends;
  for (const FriendItem& item : data.contactFriendList.friendItems) {
    friends.push_back(
        {item.friendId, item.screenName, item.pinyinScreenName, item.avatar, item.bindItems});
  }
  if (!InsertPeople(file_, kFriends, *root, friends, error)) return false;
  for (const GuestItem& guest : data.contactFriendList.guestItems) {
    SqliteStatement insert(file_.db(),
                           "insert into guest_item (contact_data_id,provider,identity,"
                           "screen_name,pinyin_screen_name,avatar) values(:root,:provider,"
                           ":identity,:name,:pinyin,:avatar)");
    insert.Bind(":root", *root).Bind(":provider", guest.provider).Bind(":identity", guest.identity);
    for (auto [name, text] :
         {std::pair{":name", &guest.screenName}, std::pair{":pinyin", &guest.pinyinScreenName},
          std::pair{":avatar", &guest.avatar}}) {
      if (*text) {
        insert.Bind(name, **text);
      } else {
        insert.BindNull(name);
      }
    }
    if (!insert.Run()) {
      if (error) *error = file_.LastError();
      return false;
    }
  }
  return transaction.Commit(error);
}

bool ContactStore::Remove(const std::string& userId, std::string* error) {
  return file_.Open(error) && file_.RemoveRoot("contact_data", userId, error);
}

BlacklistStore::BlacklistStore(std::string path, int busyTimeoutMs)
    : file_(std::move(path), kBlacklistSchema, busyTimeoutMs) {}

bool BlacklistStore::UserIds(std::vector<std::string>* ids, std::string* error) {
  return file_.Open(error) && file_.UserIds("blacklist_data", ids, error);
}

bool BlacklistStore::Load(const std::string& userId, std::optional<BlacklistData>* data,
                          std::string* error) {
  data->reset();
  if (!file_.Open(error)) return false;
  std::string why;
  std::optional<int64_t> root = file_.RootId("blacklist_data", userId, &why);
  if (!root) {
    if (why.empty()) return true;
    if (error) *error = why;
    return false;
  }
  BlacklistData record;
  record.userId = userId;
  std::vector<PersonRow> blocked;
  if (!ReadVersion(file_, "blacklist_data", *root, &record.version, error) ||
      !LoadPeople(file_, kBlocked, *root, &blocked, error)) {
    return false;
  }
  for (PersonRow& person : blocked) {
    record.blacklist.blackItems.push_back({std::move(person.id), std::move(person.screenName),
                                           std::move(person.pinyinScreenName),
                                           std::move(person.avatar), std::move(person.bindItems)});
  }
  *data = std::move(record);
  return true;
}

bool BlacklistStore::Save(const BlacklistData& data, std::string* error) {
  if (!file_.Open(error)) return false;
  store::SqliteTransaction transaction(file_.db());
  if (!transaction.began()) {
    if (error) *error = file_.LastError();
    return false;
  }
  std::optional<int64_t> root =
      file_.ReplaceRoot("blacklist_data", data.userId, data.version, error);
  if (!root) return false;
  std::vector<PersonRow> blocked;
  for (const BlackItem& item : data.blacklist.blackItems) {
    blocked.push_back(
        {item.blackId, item.screenName, item.pinyinScreenName, item.avatar, item.bindItems});
  }
  return InsertPeople(file_, kBlocked, *root, blocked, error) && transaction.Commit(error);
}

bool BlacklistStore::Remove(const std::string& userId, std::string* error) {
  return file_.Open(error) && file_.RemoveRoot("blacklist_data", userId, error);
}

}  // namespace contacts
