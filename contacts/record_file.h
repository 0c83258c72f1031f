// RecordFile: the SQLite file behind a contact or blacklist store, and the
// rows shared by both: people (friends, blocked users) with their bindings.
// Every row hangs off its user's root record and goes with it (foreign keys
// with cascading deletes).
#pragma once

#include <sqlite3.h>

#include <optional>
#include <string>
#include <vector>

#include "contacts/contact_items.h"

namespace contacts {

class RecordFile {
 public:
  // `schema` creates the tables when missing. `busyTimeoutMs` is how long a
  // write waits for another process's lock.
  RecordFile(std::string path, const char* schema, int busyTimeoutMs);
  ~RecordFile();
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;

  // Opens the file on first use; false (and `error`) when it cannot be opened
  // or is not a usable store.
  bool Open(std::string* error);
  const std::string& path() const { return path_; }
  sqlite3* db() const { return db_; }

  // The row id of a user's root record in `rootTable`, or none.
  std::optional<int64_t> RootId(const char* rootTable, const std::string& userId,
                                std::string* error);
  // Every root record's user id, largest first.
  bool UserIds(const char* rootTable, std::vector<std::string>* ids, std::string* error);
  // Replaces a user's root record: deletes the old one (and everything under
  // it) and inserts the new one. Returns the new row id, or none.
  std::optional<int64_t> ReplaceRoot(const char* rootTable, const std::string& userId,
                                     const std::string& version, std::string* error);
  bool RemoveRoot(const char* rootTable, const std::string& userId, std::string* error);

  // The text of SQLite's last error on this file.
  std::string LastError() const;

 private:
  const std::string path_;
  const char* const schema_;
  const int busy_timeout_ms_;
  sqlite3* db_ = nullptr;
};

// Names of the tables holding one kind of person and the bindings under it.
struct PeopleTables {
  const char* people;    // "friend_item" / "black_item"
  const char* idColumn;  // "friend_id" / "black_id"
  const char* binds;     // "bind_item" / "black_bind_item"
  const char* parent;    // the root table's key column in `people`
};

struct PersonRow {
  std::string id;
  Text screenName;
  Text pinyinScreenName;
  Text avatar;
  std::vector<BindItem> bindItems;
};

bool InsertPeople(RecordFile& file, const PeopleTables& tables, int64_t rootId,
                  const std::vector<PersonRow>& people, std::string* error);
bool LoadPeople(RecordFile& file, const PeopleTables& tables, int64_t rootId,
                std::vector<PersonRow>* people, std::string* error);

}  // namespace contacts
