// The tables the study server keeps, one per kind of study record, and the columns of
// each. One description drives the record parsers (what each field must look like), the
// database schema, and the researcher pages (headings, filters, CSV).
#pragma once

#include <span>
#include <string_view>

namespace kestrelio {

// How a field of a record is written by the handset and checked here.
enum class FieldKind {
  kDeviceId,   // 20 upper-case hexadecimal characters
  kTimestamp,  // "YYYY-MM-DD hh:mm:ss", handset local time
  kInteger,    // optional '-' and decimal digits, 64-bit
  kDecimal,    // printf %f style; "nan"/"inf" are kept as no value
  kText,       // anything but control characters, at most kMaxTextBytes
  kChoice,     // one of a fixed list of words, stored as text
  kFlag,       // "0" or "1", stored as an integer
  kNull,       // the literal word null; not stored
};

inline constexpr size_t kMaxTextBytes = 255;

struct FieldLayout {
  std::string_view column;  // empty for kNull
  FieldKind kind;
  std::span<const std::string_view> choices = {};
};

enum class StudyTable { kCalls, kUnansweredCalls, kBattery, kIp, kProgramRuns, kSurveyResponses };
inline constexpr size_t kStudyTableCount = 6;

struct TableLayout {
  StudyTable table;
  std::string_view name;         // SQL table name and the researcher page's path word
  std::string_view title;        // heading on the researcher page
  std::string_view time_column;  // the date filter applies to this column
  std::span<const FieldLayout> fields;
};

const TableLayout& LayoutOf(StudyTable table);
std::span<const TableLayout> AllTables();
// The table named `name` on the researcher page, if any.
const TableLayout* FindTable(std::string_view name);

// Fields that carry a value into the database (everything but kNull), in order.
size_t StoredColumnCount(const TableLayout& layout);

}  // namespace kestrelio
