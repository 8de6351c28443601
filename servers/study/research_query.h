// Read-only queries behind the researcher pages: the handsets and their last upload,
// and the rows of each record table under a device and date filter. They run on a
// connection opened read-only, so nothing here can change the data.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "servers/study/sqlite_db.h"
#include "servers/study/study_tables.h"

namespace kestrelio {

// Empty members do not filter. Dates are "YYYY-MM-DD", both ends inclusive, compared
// with each table's time column (handset local time).
struct RecordFilter {
  std::string device;
  std::string from;
  std::string to;
};

// Checks the three query values; `why` names the bad one.
std::optional<RecordFilter> MakeFilter(std::string_view device, std::string_view from,
                                       std::string_view to, std::string* why);
// "device=..&from=..&to=.." with the members that are set (for links).
std::string FilterQuery(const RecordFilter& filter);

struct HandsetRow {
  std::string device;
  int64_t uploads = 0;  // uploads that held records of this device
  std::string last_upload_at;
  std::string last_upload_kind;
};

struct RefusedRow {
  int64_t upload_id = 0;
  std::string kind;
  std::string device;
  std::string received_at;
  int64_t first_line = 0;
  std::string reason;
  std::string raw;
};

// A row: id, upload id, then the table's stored columns; nullopt for NULL.
using RecordRow = std::vector<std::optional<std::string>>;

class ResearchQuery {
 public:
  explicit ResearchQuery(const std::string& db_path);
  bool ok() const { return db_.ok(); }

  std::vector<HandsetRow> Handsets(const RecordFilter& filter);
  std::vector<RefusedRow> Refused(const RecordFilter& filter, int limit);
  int64_t Count(const TableLayout& layout, const RecordFilter& filter);
  // The newest `limit` rows, newest first.
  std::vector<RecordRow> Newest(const TableLayout& layout, const RecordFilter& filter, int limit);
  // Rows with id above `after_id`, oldest first, at most `limit`: for paging a CSV.
  std::vector<RecordRow> After(const TableLayout& layout, const RecordFilter& filter,
                               int64_t after_id, int limit);

 private:
  std::vector<RecordRow> Rows(const TableLayout& layout, const RecordFilter& filter,
                              std::string_view order, int64_t after_id, int limit);

  SqliteDb db_;
};

// Column headings of a RecordRow.
std::vector<std::string_view> RowHeadings(const TableLayout& layout);

}  // namespace kestrelio
