#include "store/sqlite_statement.h"

namespace store {

SqliteStatement::SqliteStatement(sqlite3* db, std::string_view sql) {
  if (db == nullptr) return;
  if (sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &statement_, nullptr) !=
      SQLITE_OK) {
    sqlite3_finalize(statement_);
    statement_ = nullptr;
  }
}

SqliteStatement::~SqliteStatement() { sqlite3_finalize(statement_); }

int SqliteStatement::Index(const char* name) {
  if (statement_ == nullptr) return 0;
  int index = sqlite3_bind_parameter_index(statement_, name);
  if (index == 0) bound_ = false;
  return index;
}

SqliteStatement& SqliteStatement::Bind(const char* name, std::string_view text) {
  if (int i = Index(name); i > 0) {
    if (sqlite3_bind_text64(statement_, i, text.data(), text.size(), SQLITE_TRANSIENT,
                            SQLITE_UTF8) != SQLITE_OK) {
      bound_ = false;
    }
  }
  return *this;
}

SqliteStatement& SqliteStatement::Bind(const char* name, int64_t number) {
  if (int i = Index(name); i > 0) {
    if (sqlite3_bind_int64(statement_, i, number) != SQLITE_OK) bound_ = false;
  }
  return *this;
}

SqliteStatement& SqliteStatement::Bind(const char* name, double number) {
  if (int i = Index(name); i > 0) {
    if (sqlite3_bind_double(statement_, i, number) != SQLITE_OK) bound_ = false;
  }
  return *this;
}

SqliteStatement& SqliteStatement::BindNull(const char* name) {
  if (int i = Index(name); i > 0) {
    if (sqlite3_bind_null(statement_, i) != SQLITE_OK) bound_ = false;
  }
  return *this;
}

bool SqliteStatement::Next() {
  if (!ok() || failed_) {
    failed_ = true;
    return false;
  }
  int rc = sqlite3_step(statement_);
  if (rc == SQLITE_ROW) return true;
  if (rc != SQLITE_DONE) failed_ = true;
  return false;
}

bool SqliteStatement::Run() {
  while (Next()) {
  }
  return !failed_;
}

bool SqliteStatement::IsNull(int column) const {
  return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

int64_t SqliteStatement::Int64(int column) const {
  return sqlite3_column_int64(statement_, column);
}

double SqliteStatement::Double(int column) const {
  return sqlite3_column_double(statement_, column);
}

std::string SqliteStatement::Text(int column) const {
  const unsigned char* text = sqlite3_column_text(statement_, column);
  if (text == nullptr) return {};
  return std::string(reinterpret_cast<const char*>(text),
                     static_cast<size_t>(sqlite3_column_bytes(statement_, column)));
}

bool ExecuteSql(sqlite3* db, const char* sql, std::string* error) {
  if (db == nullptr) {
    if (error) *error = "no database";
    return false;
  }
  char* message = nullptr;
  int rc = sqlite3_exec(db, sql, nullptr, nullptr, &message);
  if (rc != SQLITE_OK && error) *error = message ? message : sqlite3_errstr(rc);
  sqlite3_free(message);
  return rc == SQLITE_OK;
}

SqliteTransaction::SqliteTransaction(sqlite3* db) : db_(db) {
  began_ = ExecuteSql(db_, "BEGIN IMMEDIATE");
}

SqliteTransaction::~SqliteTransaction() {
  if (began_ && !done_) ExecuteSql(db_, "ROLLBACK");
}

bool SqliteTransaction::Commit(std::string* error) {
  if (!began_ || done_) {
    if (error) *error = "no transaction";
    return false;
  }
  if (!ExecuteSql(db_, "COMMIT", error)) return false;  // still open: rolled back later
  done_ = true;
  return true;
}

}  // namespace store
