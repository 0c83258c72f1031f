#include "server/sqlite_db.h"

#include <sqlite3.h>

#include <stdexcept>

namespace server {
namespace {

[[noreturn]] void Fail(sqlite3* db, int rc, std::string_view what) {
  std::string message = std::string(what) + " failed: " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
  if ((rc & 0xff) == SQLITE_CONSTRAINT) throw ConstraintError(message);
  throw std::runtime_error(message);
}

}  // namespace

Statement::Statement(sqlite3* db, std::string_view sql) : db_(db) {
  int rc = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr);
  if (rc != SQLITE_OK) Fail(db, rc, "prepare");
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement& Statement::Bind(int index, int64_t value) {
  int rc = sqlite3_bind_int64(stmt_, index, value);
  if (rc != SQLITE_OK) Fail(db_, rc, "bind");
  return *this;
}

Statement& Statement::Bind(int index, double value) {
  int rc = sqlite3_bind_double(stmt_, index, value);
  if (rc != SQLITE_OK) Fail(db_, rc, "bind");
  return *this;
}

Statement& Statement::Bind(int index, std::string_view text) {
  int rc = sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()),
                             SQLITE_TRANSIENT);
  if (rc != SQLITE_OK) Fail(db_, rc, "bind");
  return *this;
}

Statement& Statement::BindNull(int index) {
  int rc = sqlite3_bind_null(stmt_, index);
  if (rc != SQLITE_OK) Fail(db_, rc, "bind");
  return *this;
}

Statement& Statement::Bind(int index, const std::optional<int64_t>& value) {
  return value ? Bind(index, *value) : BindNull(index);
}

bool Statement::Step() {
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  Fail(db_, rc, "step");
}

void Statement::Run() {
  while (Step()) {
  }
}

int64_t Statement::Int(int column) const { return sqlite3_column_int64(stmt_, column); }
double Statement::Real(int column) const { return sqlite3_column_double(stmt_, column); }
std::string Statement::Text(int column) const {
  const unsigned char* text = sqlite3_column_text(stmt_, column);
  if (!text) return {};
  return std::string(reinterpret_cast<const char*>(text),
                     static_cast<size_t>(sqlite3_column_bytes(stmt_, column)));
}
bool Statement::IsNull(int column) const {
  return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

SqliteDb::SqliteDb(const std::string& path) {
  int rc = sqlite3_open_v2(path.c_str(), &db_,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                           nullptr);
  if (rc != SQLITE_OK) {
    std::string message = "open " + path + " failed: " + sqlite3_errstr(rc);
    sqlite3_close(db_);
    db_ = nullptr;
    throw std::runtime_error(message);
  }
  sqlite3_busy_timeout(db_, 5000);
  Exec("PRAGMA journal_mode=WAL");
  // NORMAL in WAL mode survives a crash of the process; the media pieces,
  // which must survive it, are flushed by the ingest code itself.
  Exec("PRAGMA synchronous=NORMAL");
  Exec("PRAGMA foreign_keys=ON");
}

SqliteDb::~SqliteDb() { sqlite3_close(db_); }

void SqliteDb::Exec(std::string_view sql) {
  std::string text(sql);
  char* error = nullptr;
  int rc = sqlite3_exec(db_, text.c_str(), nullptr, nullptr, &error);
  if (rc != SQLITE_OK) {
    std::string message = std::string("exec failed: ") + (error ? error : sqlite3_errstr(rc));
    sqlite3_free(error);
    if ((rc & 0xff) == SQLITE_CONSTRAINT) throw ConstraintError(message);
    throw std::runtime_error(message);
  }
}

int64_t SqliteDb::LastInsertId() const { return sqlite3_last_insert_rowid(db_); }
int SqliteDb::Changes() const { return sqlite3_changes(db_); }

}  // namespace server
