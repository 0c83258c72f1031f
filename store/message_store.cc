// The message inbox, message_table: one JSON text per message.
#include <string>

#include "store/storelib_internal.h"

namespace storelib {
namespace {

using internal::LockedConnection;
using store::SqliteStatement;

// A message's own time, its "utc_ts"; 0 when the text has none. Row ids only
// tell the order of storing, and a page of older messages is stored after
// newer ones, so ordering by the id alone would put old messages on top.
#define MESSAGE_TIME                                                                        \
  "ifnull(CAST(CASE WHEN json_valid(message) THEN json_extract(message,'$.utc_ts') END AS " \
  "INTEGER),0)"

constexpr char kNewestFirst[] = MESSAGE_TIME " desc,mid desc";
constexpr char kOldestFirst[] = MESSAGE_TIME ",mid";

}  // namespace

TimeLineResult* LoadMessageItems() {
  LockedConnection connection;
  if (connection.db() == nullptr) return nullptr;
  internal::TrimTable(connection.db(), "message_table", "mid", kOldestFirst);
  auto statement = std::make_unique<SqliteStatement>(
      connection.db(),
      std::string("select mid,message from message_table order by ") + kNewestFirst);
  if (!statement->ok()) return nullptr;
  return new TimeLineResult{std::move(statement)};
}

bool NextMessageItem(TimeLineResult* result, int64_t* mid, std::string* message) {
  if (result == nullptr) return false;
  LockedConnection connection;
  SqliteStatement& row = *result->statement;
  if (!row.Next()) return false;
  if (mid) *mid = row.Int64(0);
  if (message) *message = row.Text(1);
  return true;
}

int64_t AppendMessageItem(std::string_view message) {
  LockedConnection connection;
  if (!SqliteStatement(connection.db(),
                       "insert or replace into message_table (message) "
                       "values (:message)")
           .Bind(":message", message)
           .Run()) {
    return -1;
  }
  // Under the store's lock no other insert can come between.
  return sqlite3_last_insert_rowid(connection.db());
}

void UpdateMessageItem(int64_t mid, std::string_view message) {
  LockedConnection connection;
  SqliteStatement(connection.db(), "update message_table set message=:message where mid=:mid")
      .Bind(":message", message)
      .Bind(":mid", mid)
      .Run();
}

bool GetLatestMessageItem(int64_t* mid, std::string* message) {
  LockedConnection connection;
  SqliteStatement statement(
      connection.db(),
      std::string("select mid,message from message_table order by ") + kNewestFirst + " limit 1");
  if (!statement.Next()) return false;
  if (mid) *mid = statement.Int64(0);
  if (message) *message = statement.Text(1);
  return true;
}

void RemoveAllMessageItems() {
  LockedConnection connection;
  SqliteStatement(connection.db(), "delete from message_table").Run();
}

}  // namespace storelib
