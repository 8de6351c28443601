// The study database: every upload as it arrived (kind, device, time, sender, raw
// bytes), every record taken from it in its table, and every refused record with the
// reason. A record whose raw text is already in its table is not stored again, so an
// upload that is posted again (the handset could not rename its file) adds nothing.
//
// One write connection. Uploads that arrive while a commit is running are committed
// together in the next transaction (each in its own savepoint), so one sync to disk
// serves them all; StoreUpload returns only once its upload is committed, and the
// caller answers "success" only then.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "servers/study/sqlite_db.h"
#include "servers/study/upload_intake.h"

namespace kestrelio {

struct UploadMeta {
  UploadKind kind = UploadKind::kCallLog;
  std::string_view remote_address;
  std::string_view received_at;  // UTC "YYYY-MM-DD hh:mm:ss"
};

struct StoreResult {
  int64_t upload_id = 0;
  size_t stored = 0;      // records new to their table
  size_t duplicates = 0;  // records the table already held
  size_t refused = 0;     // records that did not parse (kept with the upload)
};

class StudyStore {
 public:
  // Opens or creates the database at `path` ("" or ":memory:" for a private one).
  explicit StudyStore(const std::string& path);
  StudyStore(const StudyStore&) = delete;
  StudyStore& operator=(const StudyStore&) = delete;

  bool ok() const { return ok_; }

  // Stores the upload, its records and its refused records in one transaction.
  // nullopt when the transaction did not commit (then nothing of it is stored).
  std::optional<StoreResult> StoreUpload(const UploadMeta& meta, std::string_view data,
                                         const UploadContent& content);

 private:
  struct PendingUpload {
    const UploadMeta* meta;
    std::string_view data;
    const UploadContent* content;
    std::optional<StoreResult> result;
    bool done = false;  // under mutex_ once queued
  };

  bool CreateSchema();
  bool PrepareStatements();
  // Runs on one caller at a time (committing_), without the lock; fills in every
  // upload's result, which its caller reads only once `done` is set under the lock.
  void CommitBatch(const std::vector<PendingUpload*>& batch);
  bool InsertAll(const UploadMeta& meta, std::string_view data, const UploadContent& content,
                 StoreResult* result);

  std::mutex mutex_;
  std::condition_variable queue_changed_;
  std::vector<PendingUpload*> queue_;  // under mutex_
  bool committing_ = false;            // under mutex_
  SqliteDb db_;
  bool ok_ = false;
  SqliteStatement begin_;
  SqliteStatement commit_;
  SqliteStatement rollback_;
  SqliteStatement savepoint_;
  SqliteStatement release_savepoint_;
  SqliteStatement rollback_to_savepoint_;
  SqliteStatement insert_upload_;
  SqliteStatement update_counts_;
  SqliteStatement insert_refused_;
  std::array<SqliteStatement, kStudyTableCount> insert_record_;
};

// The schema text for one record table (also used by the tests).
std::string RecordTableSql(const TableLayout& layout);

}  // namespace kestrelio
