// What the parts of storelib share: the process-wide connection behind one
// lock, and the cursor type.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <mutex>

#include "store/sqlite_statement.h"
#include "store/storelib.h"

namespace storelib {

struct TimeLineResult {
  std::unique_ptr<store::SqliteStatement> statement;
};

namespace internal {

// The connection (null when the store is closed), held under the store's lock
// for as long as this object lives.
class LockedConnection {
 public:
  LockedConnection();
  sqlite3* db() const { return db_; }

 private:
  std::unique_lock<std::mutex> lock_;
  sqlite3* db_;
};

// Deletes the oldest rows of a table beyond kMaxRowsKept. `order` sorts
// oldest first and `key` names the row.
void TrimTable(sqlite3* db, const char* table, const char* key, const char* order);

}  // namespace internal
}  // namespace storelib
