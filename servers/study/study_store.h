// The study database: every upload as it arrived (kind, device, time, sender, raw
// bytes), every record taken from it in its table, and every refused record with the
// reason. A record whose raw text is already in its table is not stored again, so an
// upload that is posted again (the handset could not rename its file) adds nothing.
//
// One write connection, used under a lock; each upload is one transaction, and the
// caller answers "success" only after StoreUpload returned.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

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
  bool CreateSchema();
  bool PrepareStatements();
  bool InsertAll(const UploadMeta& meta, std::string_view data, const UploadContent& content,
                 StoreResult* result);

  std::mutex mutex_;
  SqliteDb db_;
  bool ok_ = false;
  SqliteStatement begin_;
  SqliteStatement commit_;
  SqliteStatement rollback_;
  SqliteStatement insert_upload_;
  SqliteStatement update_counts_;
  SqliteStatement insert_refused_;
  std::array<SqliteStatement, kStudyTableCount> insert_record_;
};

// The schema text for one record table (also used by the tests).
std::string RecordTableSql(const TableSpec& spec);

}  // namespace kestrelio
