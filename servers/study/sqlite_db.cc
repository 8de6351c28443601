#include "servers/study/sqlite_db.h"

#include <fcntl.h>
#include <unistd.h>

#include "base/diag.h"

namespace kestrelio {

void SqliteStatement::BindNull(int index) { sqlite3_bind_null(get(), index); }

void SqliteStatement::BindInt(int index, int64_t value) { sqlite3_bind_int64(get(), index, value); }

void SqliteStatement::BindDouble(int index, double value) {
  sqlite3_bind_double(get(), index, value);
}

void SqliteStatement::BindText(int index, std::string_view text) {
  // An empty view may have no data pointer, which SQLite would store as NULL.
  sqlite3_bind_text64(get(), index, text.empty() ? "" : text.data(), text.size(), SQLITE_STATIC,
                      SQLITE_UTF8);
}

void SqliteStatement::BindBlob(int index, std::string_view bytes) {
  // A zero-length blob is stored as an empty value, not NULL.
  sqlite3_bind_blob64(get(), index, bytes.empty() ? "" : bytes.data(), bytes.size(), SQLITE_STATIC);
}

int SqliteStatement::Step() { return sqlite3_step(get()); }

void SqliteStatement::Reset() {
  sqlite3_reset(get());
  sqlite3_clear_bindings(get());
}

std::string_view SqliteStatement::ColumnText(int column) const {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(get(), column));
  if (text == nullptr) return {};
  return std::string_view(text, static_cast<size_t>(sqlite3_column_bytes(get(), column)));
}

int64_t SqliteStatement::ColumnInt(int column) const { return sqlite3_column_int64(get(), column); }

bool SqliteStatement::ColumnIsNull(int column) const {
  return sqlite3_column_type(get(), column) == SQLITE_NULL;
}

SqliteDb::SqliteDb(const std::string& path, DbAccess access) {
  // The study data names people and places: a new database file is readable by its
  // owner only (SQLite gives its -wal and -shm files the same mode).
  if (access == DbAccess::kReadWrite && path != ":memory:" && !path.empty()) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) close(fd);
  }
  int flags = access == DbAccess::kReadOnly ? SQLITE_OPEN_READONLY
                                            : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
  sqlite3* db = nullptr;
  int result = sqlite3_open_v2(path.c_str(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  db_.reset(db);
  if (result != SQLITE_OK) {
    Diag("study: cannot open database %s: %s", path.c_str(),
         db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(result));
    db_.reset();
    return;
  }
  // Readers and the writer meet on one file; a short wait beats a failed request.
  sqlite3_busy_timeout(db, 5000);
}

bool SqliteDb::Exec(const char* sql) {
  char* error = nullptr;
  if (sqlite3_exec(get(), sql, nullptr, nullptr, &error) == SQLITE_OK) return true;
  Diag("study: sql failed: %s", error != nullptr ? error : "?");
  sqlite3_free(error);
  return false;
}

SqliteStatement SqliteDb::Prepare(std::string_view sql) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v3(get(), sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                         &statement, nullptr) != SQLITE_OK) {
    Diag("study: cannot prepare statement: %s", sqlite3_errmsg(get()));
    sqlite3_finalize(statement);
    return SqliteStatement();
  }
  return SqliteStatement(statement);
}

std::string SqliteDb::ErrorMessage() const { return db_ ? sqlite3_errmsg(get()) : "not open"; }

}  // namespace kestrelio
