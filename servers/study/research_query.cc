#include "servers/study/research_query.h"

#include "servers/study/field_parsers.h"

namespace kestrelio {
namespace {

std::string WhereClause(const TableLayout& layout, std::string_view device_column) {
  std::string time(layout.time_column);
  return " WHERE (?1 = '' OR " + std::string(device_column) + " = ?1) AND (?2 = '' OR " + time +
         " >= ?2) AND (?3 = '' OR " + time + " < date(?3, '+1 day'))";
}

void BindFilter(SqliteStatement& statement, const RecordFilter& filter) {
  statement.BindText(1, filter.device);
  statement.BindText(2, filter.from);
  statement.BindText(3, filter.to);
}

std::string ColumnText(const SqliteStatement& statement, int column) {
  return std::string(statement.ColumnText(column));
}

}  // namespace

std::optional<RecordFilter> MakeFilter(std::string_view device, std::string_view from,
                                       std::string_view to, std::string* why) {
  if (!device.empty() && !IsDeviceId(device)) {
    *why = "device must be 20 upper-case hexadecimal characters";
    return std::nullopt;
  }
  if ((!from.empty() && !IsDate(from)) || (!to.empty() && !IsDate(to))) {
    *why = "dates must be YYYY-MM-DD";
    return std::nullopt;
  }
  return RecordFilter{std::string(device), std::string(from), std::string(to)};
}

std::string FilterQuery(const RecordFilter& filter) {
  std::string query;
  auto add = [&](std::string_view key, const std::string& value) {
    if (value.empty()) return;
    if (!query.empty()) query += '&';
    query += key;
    query += '=';
    query += value;  // checked: hex digits, digits and '-' only
  };
  add("device", filter.device);
  add("from", filter.from);
  add("to", filter.to);
  return query;
}

std::vector<std::string_view> RowHeadings(const TableLayout& layout) {
  std::vector<std::string_view> headings = {"id", "upload"};
  for (const FieldLayout& field : layout.fields) {
    if (field.kind != FieldKind::kNull) headings.push_back(field.column);
  }
  return headings;
}

ResearchQuery::ResearchQuery(const std::string& db_path) : db_(db_path, DbAccess::kReadOnly) {}

std::vector<HandsetRow> ResearchQuery::Handsets(const RecordFilter& filter) {
  // A device is seen in the records of each table and, for uploads whose records were
  // all stored before (a retry), in the device noted with the upload.
  std::string seen = "SELECT device, id AS upload_id FROM uploads WHERE device != ''";
  for (const TableLayout& layout : AllTables()) {
    seen += " UNION SELECT device, upload_id FROM " + std::string(layout.name);
  }
  std::vector<HandsetRow> rows;
  SqliteStatement statement = db_.Prepare(
      "WITH seen AS (" + seen +
      ") SELECT g.device, g.uploads, u.received_at, u.kind FROM (SELECT device, "
      "COUNT(*) AS uploads, MAX(upload_id) AS last_id FROM seen WHERE (?1 = '' OR device = ?1) "
      "GROUP BY device) g JOIN uploads u ON u.id = g.last_id ORDER BY g.device");
  if (!statement.ok()) return rows;
  statement.BindText(1, filter.device);
  while (statement.Step() == SQLITE_ROW) {
    rows.push_back({ColumnText(statement, 0), statement.ColumnInt(1), ColumnText(statement, 2),
                    ColumnText(statement, 3)});
  }
  return rows;
}

std::vector<RefusedRow> ResearchQuery::Refused(const RecordFilter& filter, int limit) {
  std::vector<RefusedRow> rows;
  SqliteStatement statement = db_.Prepare(
      "SELECT u.id, u.kind, u.device, u.received_at, r.first_line, r.reason, r.raw "
      "FROM refused_records r JOIN uploads u ON u.id = r.upload_id "
      "WHERE (?1 = '' OR u.device = ?1) ORDER BY r.id DESC LIMIT ?2");
  if (!statement.ok()) return rows;
  statement.BindText(1, filter.device);
  statement.BindInt(2, limit);
  while (statement.Step() == SQLITE_ROW) {
    rows.push_back({statement.ColumnInt(0), ColumnText(statement, 1), ColumnText(statement, 2),
                    ColumnText(statement, 3), statement.ColumnInt(4), ColumnText(statement, 5),
                    ColumnText(statement, 6)});
  }
  return rows;
}

int64_t ResearchQuery::Count(const TableLayout& layout, const RecordFilter& filter) {
  SqliteStatement statement = db_.Prepare("SELECT COUNT(*) FROM " + std::string(layout.name) +
                                          WhereClause(layout, "device"));
  if (!statement.ok()) return 0;
  BindFilter(statement, filter);
  return statement.Step() == SQLITE_ROW ? statement.ColumnInt(0) : 0;
}

std::vector<RecordRow> ResearchQuery::Rows(const TableLayout& layout, const RecordFilter& filter,
                                           std::string_view order, int64_t after_id, int limit) {
  std::vector<RecordRow> rows;
  std::string columns = "id, upload_id";
  for (const FieldLayout& field : layout.fields) {
    if (field.kind != FieldKind::kNull) columns += ", " + std::string(field.column);
  }
  SqliteStatement statement = db_.Prepare(
      "SELECT " + columns + " FROM " + std::string(layout.name) + WhereClause(layout, "device") +
      " AND id > ?4 ORDER BY id " + std::string(order) + " LIMIT ?5");
  if (!statement.ok()) return rows;
  BindFilter(statement, filter);
  statement.BindInt(4, after_id);
  statement.BindInt(5, limit);
  int count = sqlite3_column_count(statement.get());
  while (statement.Step() == SQLITE_ROW) {
    RecordRow row;
    row.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
      if (statement.ColumnIsNull(i)) {
        row.emplace_back();
      } else {
        row.emplace_back(ColumnText(statement, i));
      }
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<RecordRow> ResearchQuery::Newest(const TableLayout& layout, const RecordFilter& filter,
                                             int limit) {
  return Rows(layout, filter, "DESC", 0, limit);
}

std::vector<RecordRow> ResearchQuery::After(const TableLayout& layout, const RecordFilter& filter,
                                            int64_t after_id, int limit) {
  return Rows(layout, filter, "ASC", after_id, limit);
}

}  // namespace kestrelio
