#include "servers/study/log_line_parser.h"

#include <vector>

namespace kestrelio {
namespace {

constexpr std::string_view kSeparator = ", ";

// Splits on ", " into at most `limit` + 1 pieces (one more tells that there were too
// many).
std::vector<std::string_view> SplitFields(std::string_view line, size_t limit) {
  std::vector<std::string_view> fields;
  fields.reserve(limit + 1);
  size_t at = 0;
  while (fields.size() < limit) {
    size_t next = line.find(kSeparator, at);
    if (next == std::string_view::npos) break;
    fields.push_back(line.substr(at, next - at));
    at = next + kSeparator.size();
  }
  fields.push_back(line.substr(at));
  return fields;
}

}  // namespace

std::optional<StudyRecord> ParseLogLine(StudyTable table, std::string_view line, std::string* why) {
  const TableLayout& layout = LayoutOf(table);
  std::vector<std::string_view> fields = SplitFields(line, layout.fields.size());
  if (fields.size() != layout.fields.size()) {
    *why = std::string(layout.name) + ": " + std::to_string(fields.size()) +
           (fields.size() > layout.fields.size() ? " or more" : "") + " fields, expected " +
           std::to_string(layout.fields.size());
    return std::nullopt;
  }
  StudyRecord record;
  record.table = table;
  record.raw = line;
  record.values.reserve(StoredColumnCount(layout));
  for (size_t i = 0; i < fields.size(); ++i) {
    std::string field_why;
    auto value = ParseField(layout.fields[i], fields[i], &field_why);
    if (!value) {
      *why = std::string(layout.name) + " field " + std::to_string(i + 1) + " " + field_why;
      return std::nullopt;
    }
    if (layout.fields[i].kind != FieldKind::kNull) record.values.push_back(*value);
  }
  return record;
}

std::optional<StudyRecord> ParseCallLogLine(std::string_view line, std::string* why) {
  std::vector<std::string_view> head = SplitFields(line, 2);
  if (head.size() < 3) {
    *why = "call log: too few fields";
    return std::nullopt;
  }
  if (head[1] == "INCOMING" || head[1] == "OUTGOING") {
    return ParseLogLine(StudyTable::kCalls, line, why);
  }
  if (head[1] == "incoming" || head[1] == "outgoing") {
    return ParseLogLine(StudyTable::kUnansweredCalls, line, why);
  }
  *why = "call log field 2: not a call direction";
  return std::nullopt;
}

}  // namespace kestrelio
