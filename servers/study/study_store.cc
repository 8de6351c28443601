#include "servers/study/study_store.h"

#include "base/diag.h"

namespace kestrelio {
namespace {

constexpr int kSchemaVersion = 1;

constexpr const char* kBaseSchema = R"sql(
CREATE TABLE IF NOT EXISTS uploads (
  id INTEGER PRIMARY KEY,
  kind TEXT NOT NULL,
  device TEXT NOT NULL,
  received_at TEXT NOT NULL,
  remote_address TEXT NOT NULL,
  size INTEGER NOT NULL,
  lines INTEGER NOT NULL,
  stored INTEGER NOT NULL DEFAULT 0,
  duplicates INTEGER NOT NULL DEFAULT 0,
  refused INTEGER NOT NULL DEFAULT 0,
  data BLOB NOT NULL);
CREATE INDEX IF NOT EXISTS uploads_by_device ON uploads (device, received_at);
CREATE TABLE IF NOT EXISTS refused_records (
  id INTEGER PRIMARY KEY,
  upload_id INTEGER NOT NULL REFERENCES uploads (id),
  first_line INTEGER NOT NULL,
  line_count INTEGER NOT NULL,
  reason TEXT NOT NULL,
  raw BLOB NOT NULL);
)sql";

const char* SqlType(FieldKind kind) {
  switch (kind) {
    case FieldKind::kInteger:
    case FieldKind::kFlag:
      return "INTEGER";
    case FieldKind::kDecimal:
      return "REAL";
    default:
      return "TEXT";
  }
}

void BindValue(SqliteStatement& statement, int index, const FieldValue& value) {
  if (const auto* number = std::get_if<int64_t>(&value)) {
    statement.BindInt(index, *number);
  } else if (const auto* decimal = std::get_if<double>(&value)) {
    statement.BindDouble(index, *decimal);
  } else if (const auto* text = std::get_if<std::string_view>(&value)) {
    statement.BindText(index, *text);
  } else {
    statement.BindNull(index);
  }
}

std::string InsertRecordSql(const TableLayout& layout) {
  std::string columns = "upload_id, raw";
  std::string values = "?, ?";
  for (const FieldLayout& field : layout.fields) {
    if (field.kind == FieldKind::kNull) continue;
    columns += ", " + std::string(field.column);
    values += ", ?";
  }
  return "INSERT INTO " + std::string(layout.name) + " (" + columns + ") VALUES (" + values +
         ") ON CONFLICT (raw) DO NOTHING";
}

}  // namespace

std::string RecordTableSql(const TableLayout& layout) {
  std::string sql = "CREATE TABLE IF NOT EXISTS " + std::string(layout.name) +
                    " (\n  id INTEGER PRIMARY KEY,\n"
                    "  upload_id INTEGER NOT NULL REFERENCES uploads (id),\n";
  for (const FieldLayout& field : layout.fields) {
    if (field.kind == FieldKind::kNull) continue;
    sql += "  " + std::string(field.column) + " " + SqlType(field.kind) + ",\n";
  }
  sql += "  raw TEXT NOT NULL UNIQUE);\n";
  sql += "CREATE INDEX IF NOT EXISTS " + std::string(layout.name) + "_by_device ON " +
         std::string(layout.name) + " (device, " + std::string(layout.time_column) + ");\n";
  return sql;
}

StudyStore::StudyStore(const std::string& path)
    : db_(path.empty() ? ":memory:" : path, DbAccess::kReadWrite) {
  if (!db_.ok()) return;
  ok_ = CreateSchema() && PrepareStatements();
}

bool StudyStore::CreateSchema() {
  // WAL lets the researcher pages read while uploads are written; FULL makes each
  // committed upload survive a power cut, which is what "success" promises.
  if (!db_.Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON;")) {
    return false;
  }
  int64_t found = 0;
  {
    SqliteStatement version = db_.Prepare("PRAGMA user_version");
    if (!version.ok() || version.Step() != SQLITE_ROW) return false;
    found = version.ColumnInt(0);
  }
  if (found > kSchemaVersion) {
    Diag("study: database schema version %lld is newer than this server's (%d)",
         static_cast<long long>(found), kSchemaVersion);
    return false;
  }
  std::string schema = "BEGIN;\n" + std::string(kBaseSchema);
  for (const TableLayout& layout : AllTables()) schema += RecordTableSql(layout);
  schema += "PRAGMA user_version=" + std::to_string(kSchemaVersion) + ";\nCOMMIT;";
  if (!db_.Exec(schema.c_str())) {
    db_.Exec("ROLLBACK");
    return false;
  }
  return true;
}

bool StudyStore::PrepareStatements() {
  begin_ = db_.Prepare("BEGIN IMMEDIATE");
  commit_ = db_.Prepare("COMMIT");
  rollback_ = db_.Prepare("ROLLBACK");
  savepoint_ = db_.Prepare("SAVEPOINT upload");
  release_savepoint_ = db_.Prepare("RELEASE upload");
  rollback_to_savepoint_ = db_.Prepare("ROLLBACK TO upload");
  insert_upload_ = db_.Prepare(
      "INSERT INTO uploads (kind, device, received_at, remote_address, size, lines, data) "
      "VALUES (?, ?, ?, ?, ?, ?, ?)");
  update_counts_ =
      db_.Prepare("UPDATE uploads SET stored = ?, duplicates = ?, refused = ? WHERE id = ?");
  insert_refused_ = db_.Prepare(
      "INSERT INTO refused_records (upload_id, first_line, line_count, reason, raw) "
      "VALUES (?, ?, ?, ?, ?)");
  bool ok = begin_.ok() && commit_.ok() && rollback_.ok() && savepoint_.ok() &&
            release_savepoint_.ok() && rollback_to_savepoint_.ok() && insert_upload_.ok() &&
            update_counts_.ok() && insert_refused_.ok();
  for (const TableLayout& layout : AllTables()) {
    SqliteStatement& statement = insert_record_[static_cast<size_t>(layout.table)];
    statement = db_.Prepare(InsertRecordSql(layout));
    ok = ok && statement.ok();
  }
  return ok;
}

bool StudyStore::InsertAll(const UploadMeta& meta, std::string_view data,
                           const UploadContent& content, StoreResult* result) {
  insert_upload_.Reset();
  insert_upload_.BindText(1, UploadKindName(meta.kind));
  insert_upload_.BindText(2, content.device);
  insert_upload_.BindText(3, meta.received_at);
  insert_upload_.BindText(4, meta.remote_address);
  insert_upload_.BindInt(5, static_cast<int64_t>(data.size()));
  insert_upload_.BindInt(6, static_cast<int64_t>(content.lines));
  insert_upload_.BindBlob(7, data);
  if (insert_upload_.Step() != SQLITE_DONE) return false;
  result->upload_id = sqlite3_last_insert_rowid(db_.get());

  for (const StudyRecord& record : content.records) {
    SqliteStatement& insert = insert_record_[static_cast<size_t>(record.table)];
    insert.Reset();
    insert.BindInt(1, result->upload_id);
    insert.BindText(2, record.raw);
    for (size_t i = 0; i < record.values.size(); ++i) {
      BindValue(insert, static_cast<int>(i) + 3, record.values[i]);
    }
    if (insert.Step() != SQLITE_DONE) return false;
    if (sqlite3_changes(db_.get()) > 0) {
      ++result->stored;
    } else {
      ++result->duplicates;
    }
  }

  for (const RefusedRecord& refused : content.refused) {
    insert_refused_.Reset();
    insert_refused_.BindInt(1, result->upload_id);
    insert_refused_.BindInt(2, static_cast<int64_t>(refused.first_line));
    insert_refused_.BindInt(3, static_cast<int64_t>(refused.line_count));
    insert_refused_.BindText(4, refused.reason);
    insert_refused_.BindBlob(5, refused.raw);
    if (insert_refused_.Step() != SQLITE_DONE) return false;
  }
  result->refused = content.refused.size();

  update_counts_.Reset();
  update_counts_.BindInt(1, static_cast<int64_t>(result->stored));
  update_counts_.BindInt(2, static_cast<int64_t>(result->duplicates));
  update_counts_.BindInt(3, static_cast<int64_t>(result->refused));
  update_counts_.BindInt(4, result->upload_id);
  return update_counts_.Step() == SQLITE_DONE;
}

std::optional<StoreResult> StudyStore::StoreUpload(const UploadMeta& meta, std::string_view data,
                                                   const UploadContent& content) {
  if (!ok_) return std::nullopt;
  PendingUpload mine{&meta, data, &content, std::nullopt, false};
  std::unique_lock lock(mutex_);
  queue_.push_back(&mine);
  while (!mine.done) {
    if (committing_) {
      queue_changed_.wait(lock);
      continue;
    }
    // No commit is running: this caller commits everything that is waiting, its own
    // upload among it, in one transaction, so that one sync to disk serves them all.
    committing_ = true;
    std::vector<PendingUpload*> batch;
    batch.swap(queue_);
    lock.unlock();
    CommitBatch(batch);
    lock.lock();
    // Marked under the lock, which is what the waiting callers read it under.
    for (PendingUpload* upload : batch) upload->done = true;
    committing_ = false;
    queue_changed_.notify_all();
  }
  return mine.result;
}

void StudyStore::CommitBatch(const std::vector<PendingUpload*>& batch) {
  auto finish = [&](bool committed) {
    if (committed) return;
    for (PendingUpload* upload : batch) upload->result.reset();
  };
  begin_.Reset();
  if (begin_.Step() != SQLITE_DONE) {
    Diag("study: cannot begin a transaction: %s", db_.ErrorMessage().c_str());
    return finish(false);
  }
  for (PendingUpload* upload : batch) {
    // Each upload sits in its own savepoint: one that fails leaves the others whole.
    savepoint_.Reset();
    bool inserted = savepoint_.Step() == SQLITE_DONE;
    StoreResult result;
    inserted = inserted && InsertAll(*upload->meta, upload->data, *upload->content, &result);
    if (inserted) {
      upload->result = result;
    } else {
      Diag("study: %s upload not stored: %s",
           std::string(UploadKindName(upload->meta->kind)).c_str(), db_.ErrorMessage().c_str());
      rollback_to_savepoint_.Reset();
      rollback_to_savepoint_.Step();
    }
    release_savepoint_.Reset();
    release_savepoint_.Step();
  }
  commit_.Reset();
  if (commit_.Step() == SQLITE_DONE) return finish(true);
  Diag("study: commit failed: %s", db_.ErrorMessage().c_str());
  // A failed COMMIT may leave the transaction open; ROLLBACK ends it either way.
  rollback_.Reset();
  rollback_.Step();
  finish(false);
}

}  // namespace kestrelio
