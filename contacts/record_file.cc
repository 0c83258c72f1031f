#include "contacts/record_file.h"

#include "store/sqlite_statement.h"

namespace contacts {
namespace {

using store::SqliteStatement;

void BindText(SqliteStatement& statement, const char* name, const Text& text) {
  if (text) {
    statement.Bind(name, *text);
  } else {
    statement.BindNull(name);
  }
}

Text ColumnText(const SqliteStatement& row, int column) {
  if (row.IsNull(column)) return std::nullopt;
  return row.Text(column);
}

}  // namespace

RecordFile::RecordFile(std::string path, const char* schema, int busyTimeoutMs)
    : path_(std::move(path)), schema_(schema), busy_timeout_ms_(busyTimeoutMs) {}

RecordFile::~RecordFile() { sqlite3_close_v2(db_); }

std::string RecordFile::LastError() const {
  return db_ ? sqlite3_errmsg(db_) : "the store is not open";
}

bool RecordFile::Open(std::string* error) {
  if (db_ != nullptr) return true;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    if (error) *error = path_ + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
    sqlite3_close_v2(db);
    return false;
  }
  sqlite3_busy_timeout(db, busy_timeout_ms_);
  std::string why;
  if (!store::ExecuteSql(db, "PRAGMA foreign_keys=ON", &why) ||
      !store::ExecuteSql(db, schema_, &why)) {
    if (error) *error = path_ + ": " + why;
    sqlite3_close_v2(db);
    return false;
  }
  db_ = db;
  return true;
}

std::optional<int64_t> RecordFile::RootId(const char* rootTable, const std::string& userId,
                                          std::string* error) {
  SqliteStatement row(db_, std::string("select id from ") + rootTable + " where user_id=:user");
  row.Bind(":user", userId);
  if (row.Next()) return row.Int64(0);
  if (row.failed() && error) *error = LastError();
  return std::nullopt;
}

bool RecordFile::UserIds(const char* rootTable, std::vector<std::string>* ids, std::string* error) {
  SqliteStatement row(db_,
                      std::string("select user_id from ") + rootTable + " order by user_id desc");
  while (row.Next()) ids->push_back(row.Text(0));
  if (row.failed()) {
    if (error) *error = LastError();
    return false;
  }
  return true;
}

std::optional<int64_t> RecordFile::ReplaceRoot(const char* rootTable, const std::string& userId,
                                               const std::string& version, std::string* error) {
  if (!RemoveRoot(rootTable, userId, error)) return std::nullopt;
  SqliteStatement insert(
      db_, std::string("insert into ") + rootTable + " (user_id,version) values(:user,:version)");
  if (!insert.Bind(":user", userId).Bind(":version", version).Run()) {
    if (error) *error = LastError();
    return std::nullopt;
  }
  return sqlite3_last_insert_rowid(db_);
}

bool RecordFile::RemoveRoot(const char* rootTable, const std::string& userId, std::string* error) {
  if (!SqliteStatement(db_, std::string("delete from ") + rootTable + " where user_id=:user")
           .Bind(":user", userId)
           .Run()) {
    if (error) *error = LastError();
    return false;
  }
  return true;
}

bool InsertPeople(RecordFile& file, const PeopleTables& tables, int64_t rootId,
                  const std::vector<PersonRow>& people, std::string* error) {
  const std::string insertPerson =
      std::string("insert into ") + tables.people + " (" + tables.parent + "," + tables.idColumn +
      ",screen_name,pinyin_screen_name,avatar) values(:root,:id,:name,:pinyin,:avatar)";
  const std::string insertBind = std::string("insert into ") + tables.binds +
                                 " (person_id,provider,identity,screen_name,avatar) "
                                 "values(:person,:provider,:identity,:name,:avatar)";
  for (const PersonRow& person : people) {
    SqliteStatement statement(file.db(), insertPerson);
    statement.Bind(":root", rootId).Bind(":id", person.id);
    BindText(statement, ":name", person.screenName);
    BindText(statement, ":pinyin", person.pinyinScreenName);
    BindText(statement, ":avatar", person.avatar);
    if (!statement.Run()) {
      if (error) *error = file.LastError();
      return false;
    }
    const int64_t personId = sqlite3_last_insert_rowid(file.db());
    for (const BindItem& bind : person.bindItems) {
      SqliteStatement row(file.db(), insertBind);
      row.Bind(":person", personId)
          .Bind(":provider", bind.provider)
          .Bind(":identity", bind.identity);
      BindText(row, ":name", bind.screenName);
      BindText(row, ":avatar", bind.avatar);
      if (!row.Run()) {
        if (error) *error = file.LastError();
        return false;
      }
    }
  }
  return true;
}

bool LoadPeople(RecordFile& file, const PeopleTables& tables, int64_t rootId,
                std::vector<PersonRow>* people, std::string* error) {
  SqliteStatement row(file.db(), std::string("select id,") + tables.idColumn +
                                     ",screen_name,pinyin_screen_name,avatar from " +
                                     tables.people + " where " + tables.parent +
                                     "=:root order by id");
  row.Bind(":root", rootId);
  std::vector<int64_t> rowIds;
  while (row.Next()) {
    rowIds.push_back(row.Int64(0));
    people->push_back(
        {row.Text(1), ColumnText(row, 2), ColumnText(row, 3), ColumnText(row, 4), {}});
  }
  if (row.failed()) {
    if (error) *error = file.LastError();
    return false;
  }
  for (size_t i = 0; i < rowIds.size(); ++i) {
    SqliteStatement binds(file.db(), std::string("select provider,identity,screen_name,avatar "
                                                 "from ") +
                                         tables.binds + " where person_id=:person order by id");
    binds.Bind(":person", rowIds[i]);
    while (binds.Next()) {
      (*people)[i].bindItems.push_back(
          {binds.Text(0), binds.Text(1), ColumnText(binds, 2), ColumnText(binds, 3)});
    }
    if (binds.failed()) {
      if (error) *error = file.LastError();
      return false;
    }
  }
  return true;
}

}  // namespace contacts
