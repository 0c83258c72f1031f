// SqliteStatement: one prepared statement, finalised when it goes away, with
// binding by parameter name. Every number is bound and read as a 64-bit
// integer so that ids beyond 2^31 keep their value and order.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace store {

class SqliteStatement {
 public:
  // Prepares `sql` on `db`; ok() tells whether that worked (a null `db` fails).
  SqliteStatement(sqlite3* db, std::string_view sql);
  ~SqliteStatement();
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  // False once preparing or any binding has failed (an unknown name included).
  bool ok() const { return statement_ != nullptr && bound_; }

  // Binds a named parameter (":title"). Text is copied.
  SqliteStatement& Bind(const char* name, std::string_view text);
  SqliteStatement& Bind(const char* name, int64_t number);
  SqliteStatement& Bind(const char* name, double number);
  SqliteStatement& BindNull(const char* name);
  // Keeps string literals from becoming booleans.
  SqliteStatement& Bind(const char* name, const char* text) {
    return Bind(name, std::string_view(text));
  }

  // Steps once; true while a row is ready. Errors end the walk (see failed()).
  bool Next();
  // Runs the statement to its end; true when it completed without error.
  bool Run();
  bool failed() const { return failed_; }

  bool IsNull(int column) const;
  int64_t Int64(int column) const;
  double Double(int column) const;
  // A NULL column reads as the empty text.
  std::string Text(int column) const;

  sqlite3_stmt* get() const { return statement_; }

 private:
  int Index(const char* name);

  sqlite3_stmt* statement_ = nullptr;
  bool bound_ = true;
  bool failed_ = false;
};

// Runs statements without parameters; true when all completed.
bool ExecuteSql(sqlite3* db, const char* sql, std::string* error = nullptr);

// An open transaction that rolls back unless committed.
class SqliteTransaction {
 public:
  explicit SqliteTransaction(sqlite3* db);
  ~SqliteTransaction();
  SqliteTransaction(const SqliteTransaction&) = delete;
  SqliteTransaction& operator=(const SqliteTransaction&) = delete;

  bool began() const { return began_; }
  bool Commit(std::string* error = nullptr);

 private:
  sqlite3* db_;
  bool began_ = false;
  bool done_ = false;
};

}  // namespace store
