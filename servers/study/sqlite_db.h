// Thin owners of a SQLite connection and a prepared statement. Errors come back as
// false / nullopt with the library's message in the diagnostic output.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kestrelio {

enum class DbAccess { kReadWrite, kReadOnly };

class SqliteStatement {
 public:
  SqliteStatement() = default;
  explicit SqliteStatement(sqlite3_stmt* statement) : statement_(statement) {}

  bool ok() const { return statement_ != nullptr; }
  sqlite3_stmt* get() const { return statement_.get(); }

  // Parameters count from 1, as in SQLite.
  void BindNull(int index);
  void BindInt(int index, int64_t value);
  void BindDouble(int index, double value);
  void BindText(int index, std::string_view text);
  void BindBlob(int index, std::string_view bytes);
  // SQLITE_ROW, SQLITE_DONE or an error code.
  int Step();
  // Clears bindings and rewinds for the next use.
  void Reset();

  std::string_view ColumnText(int column) const;
  int64_t ColumnInt(int column) const;
  bool ColumnIsNull(int column) const;

 private:
  struct Finalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
  };
  std::unique_ptr<sqlite3_stmt, Finalizer> statement_;
};

class SqliteDb {
 public:
  // Opens (read-write also creates) `path`; ok() tells whether it worked.
  SqliteDb(const std::string& path, DbAccess access);

  bool ok() const { return db_ != nullptr; }
  sqlite3* get() const { return db_.get(); }

  // Runs one or more statements without results.
  bool Exec(const char* sql);
  SqliteStatement Prepare(std::string_view sql);
  std::string ErrorMessage() const;

 private:
  struct Closer {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
  };
  std::unique_ptr<sqlite3, Closer> db_;
};

}  // namespace kestrelio
