#include "servers/study/survey_response_parser.h"

#include <array>

namespace kestrelio {
namespace {

struct TaggedLine {
  std::string_view prefix;
  std::string_view suffix;
  std::string_view name;  // for diagnostics
};

constexpr std::array<TaggedLine, kSurveyResponseLines> kLines = {{
    {"<response trigger=\"", "\">", "<response trigger=\"...\">"},
    {"\t<device>", "</device>", "<device>"},
    {"\t<qid>", "</qid>", "<qid>"},
    {"\t<aid>", "</aid>", "<aid>"},
    {"\t<showtime>", "</showtime>", "<showtime>"},
    {"\t<submittime>", "</submittime>", "<submittime>"},
    {"</response>", "", "</response>"},
}};

// The table field each value line fills: the trigger comes first in the text, the
// device first in the table.
constexpr std::array<size_t, kSurveyResponseLines - 1> kFieldOfLine = {1, 0, 2, 3, 4, 5};

std::optional<std::string_view> Between(std::string_view line, const TaggedLine& tags) {
  if (line.size() < tags.prefix.size() + tags.suffix.size()) return std::nullopt;
  if (!line.starts_with(tags.prefix) || !line.ends_with(tags.suffix)) return std::nullopt;
  return line.substr(tags.prefix.size(), line.size() - tags.prefix.size() - tags.suffix.size());
}

}  // namespace

bool StartsSurveyResponse(std::string_view line) { return line.starts_with(kLines[0].prefix); }

std::optional<StudyRecord> ParseSurveyResponse(std::span<const std::string_view> lines,
                                               std::string* why) {
  const TableLayout& layout = LayoutOf(StudyTable::kSurveyResponses);
  StudyRecord record;
  record.table = StudyTable::kSurveyResponses;
  record.values.resize(layout.fields.size());
  for (size_t i = 0; i < kSurveyResponseLines; ++i) {
    std::string where = "survey response line " + std::to_string(i + 1);
    if (i >= lines.size()) {
      *why = where + ": the upload ends inside the response";
      return std::nullopt;
    }
    auto value = Between(lines[i], kLines[i]);
    if (!value || (i + 1 == kSurveyResponseLines && !value->empty())) {
      *why = where + ": expected " + std::string(kLines[i].name);
      return std::nullopt;
    }
    if (i + 1 == kSurveyResponseLines) break;
    std::string field_why;
    auto parsed = ParseField(layout.fields[kFieldOfLine[i]], *value, &field_why);
    if (!parsed) {
      *why = where + " " + field_why;
      return std::nullopt;
    }
    record.values[kFieldOfLine[i]] = *parsed;
  }
  const char* begin = lines.front().data();
  const char* end = lines[kSurveyResponseLines - 1].data() + lines[kSurveyResponseLines - 1].size();
  record.raw = std::string_view(begin, static_cast<size_t>(end - begin));
  return record;
}

}  // namespace kestrelio
