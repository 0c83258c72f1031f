// A small owner of one SQLite connection and its prepared statements. Every
// value reaches SQL through a bound parameter; statement texts are constants.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace server {

class Statement {
 public:
  Statement(sqlite3* db, std::string_view sql);  // throws std::runtime_error on a bad statement
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // Parameters are numbered from 1, as in SQLite. Each returns *this.
  Statement& Bind(int index, int64_t value);
  Statement& Bind(int index, double value);
  Statement& Bind(int index, std::string_view text);
  Statement& BindNull(int index);
  Statement& Bind(int index, const std::optional<int64_t>& value);

  // Steps once: true while a row is available. Throws on errors (a broken
  // constraint throws ConstraintError).
  bool Step();
  // Steps to the end (for statements that return no rows).
  void Run();

  int64_t Int(int column) const;
  double Real(int column) const;
  std::string Text(int column) const;
  bool IsNull(int column) const;

 private:
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
};

struct ConstraintError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class SqliteDb {
 public:
  // Opens (creating) the database file in WAL mode with foreign keys on.
  explicit SqliteDb(const std::string& path);
  ~SqliteDb();
  SqliteDb(const SqliteDb&) = delete;
  SqliteDb& operator=(const SqliteDb&) = delete;

  void Exec(std::string_view sql);
  Statement Prepare(std::string_view sql) { return Statement(db_, sql); }
  int64_t LastInsertId() const;
  int Changes() const;

 private:
  friend class Transaction;
  sqlite3* db_ = nullptr;
  int transaction_depth_ = 0;
};

// BEGIN IMMEDIATE ... COMMIT, rolled back when left without Commit(). A
// transaction inside another one joins it: only the outermost commits, and a
// failure anywhere rolls back everything.
class Transaction {
 public:
  enum Kind { kWrite, kRead };
  explicit Transaction(SqliteDb& db, Kind kind = kWrite)
      : db_(db), outer_(db.transaction_depth_ == 0) {
    if (outer_) db_.Exec(kind == kWrite ? "BEGIN IMMEDIATE" : "BEGIN");
    ++db_.transaction_depth_;
  }
  ~Transaction() {
    --db_.transaction_depth_;
    if (outer_ && !done_) {
      try {
        db_.Exec("ROLLBACK");
      } catch (...) {
      }
    }
  }
  void Commit() {
    if (outer_) db_.Exec("COMMIT");
    done_ = true;
  }

 private:
  SqliteDb& db_;
  bool outer_;
  bool done_ = false;
};

}  // namespace server
