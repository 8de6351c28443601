#include "servers/study/upload_intake.h"

#include <array>

#include "servers/study/log_line_parser.h"
#include "servers/study/survey_response_parser.h"

namespace kestrelio {
namespace {

struct UploadRoute {
  UploadKind kind;
  std::string_view path;
  std::string_view name;
};

constexpr std::array<UploadRoute, 5> kRoutes = {{
    {UploadKind::kSurveyResults, "/research/kestrelio/fstd/surveyresults.php", "survey_results"},
    {UploadKind::kCallLog, "/research/kestrelio/fstd/calllogprocess.php", "call_log"},
    {UploadKind::kBatteryLog, "/research/kestrelio/fstd/batterylogprocess.php", "battery_log"},
    {UploadKind::kIpLog, "/research/kestrelio/fstd/iplogprocess.php", "ip_log"},
    {UploadKind::kProgramLog, "/research/kestrelio/fstd/programlogprocess.php", "program_log"},
}};

constexpr std::string_view kPasswordKey = "passwd=";
constexpr std::string_view kDataKey = "&data=";

struct Line {
  std::string_view text;  // without CR LF
  size_t number;          // 1-based
  bool terminated;
};

std::vector<Line> SplitLines(std::string_view data) {
  std::vector<Line> lines;
  size_t at = 0;
  size_t number = 0;
  while (at < data.size()) {
    ++number;
    size_t end = data.find('\n', at);
    bool terminated = end != std::string_view::npos;
    if (!terminated) end = data.size();
    std::string_view text = data.substr(at, end - at);
    if (terminated && text.ends_with('\r')) text.remove_suffix(1);
    if (!text.empty()) lines.push_back({text, number, terminated});
    at = terminated ? end + 1 : end;
  }
  return lines;
}

void Refuse(UploadContent* content, const Line& first, const Line& last, std::string reason) {
  const char* end = last.text.data() + last.text.size();
  content->refused.push_back(
      {first.number, last.number - first.number + 1,
       std::string_view(first.text.data(), static_cast<size_t>(end - first.text.data())),
       std::move(reason)});
}

void Take(UploadContent* content, StudyRecord record, size_t line_number) {
  record.first_line = line_number;
  if (content->device.empty()) content->device = std::get<std::string_view>(record.values[0]);
  content->records.push_back(std::move(record));
}

void ParseLogLines(UploadKind kind, const std::vector<Line>& lines, UploadContent* content) {
  for (const Line& line : lines) {
    if (!line.terminated) {
      Refuse(content, line, line, "last line has no line end (cut short?)");
      continue;
    }
    std::string why;
    std::optional<StudyRecord> record;
    switch (kind) {
      case UploadKind::kCallLog:
        record = ParseCallLogLine(line.text, &why);
        break;
      case UploadKind::kBatteryLog:
        record = ParseLogLine(StudyTable::kBattery, line.text, &why);
        break;
      case UploadKind::kIpLog:
        record = ParseLogLine(StudyTable::kIp, line.text, &why);
        break;
      case UploadKind::kProgramLog:
        record = ParseLogLine(StudyTable::kProgramRuns, line.text, &why);
        break;
      case UploadKind::kSurveyResults:
        why = "not a log upload";
        break;
    }
    if (record) {
      Take(content, std::move(*record), line.number);
    } else {
      Refuse(content, line, line, std::move(why));
    }
  }
}

void ParseSurveyLines(const std::vector<Line>& lines, UploadContent* content) {
  std::vector<std::string_view> texts;
  texts.reserve(lines.size());
  for (const Line& line : lines) texts.push_back(line.text);
  size_t at = 0;
  while (at < lines.size()) {
    size_t block_end = at + kSurveyResponseLines;
    std::string why;
    std::optional<StudyRecord> record;
    if (!StartsSurveyResponse(texts[at])) {
      why = "not the start of a survey response";
    } else if (block_end <= lines.size() && !lines[block_end - 1].terminated) {
      why = "last line has no line end (cut short?)";
    } else {
      record = ParseSurveyResponse(std::span(texts).subspan(at), &why);
    }
    if (record) {
      Take(content, std::move(*record), lines[at].number);
      at = block_end;
      continue;
    }
    // Everything up to the next line that opens a response goes with the bad one.
    size_t next = at + 1;
    while (next < lines.size() && !StartsSurveyResponse(texts[next])) ++next;
    Refuse(content, lines[at], lines[next - 1], std::move(why));
    at = next;
  }
}

}  // namespace

std::optional<UploadKind> UploadKindForPath(std::string_view path) {
  for (const UploadRoute& route : kRoutes) {
    if (route.path == path) return route.kind;
  }
  return std::nullopt;
}

std::string_view UploadPath(UploadKind kind) { return kRoutes[static_cast<size_t>(kind)].path; }

std::string_view UploadKindName(UploadKind kind) { return kRoutes[static_cast<size_t>(kind)].name; }

std::optional<UploadBody> SplitUploadBody(std::string_view body) {
  if (!body.starts_with(kPasswordKey)) return std::nullopt;
  size_t data_at = body.find(kDataKey);
  if (data_at == std::string_view::npos) return std::nullopt;
  return UploadBody{body.substr(kPasswordKey.size(), data_at - kPasswordKey.size()),
                    body.substr(data_at + kDataKey.size())};
}

bool PasswordMatches(std::string_view given, std::string_view expected) {
  unsigned difference = given.size() == expected.size() ? 0 : 1;
  for (size_t i = 0; i < given.size(); ++i) {
    char other = i < expected.size() ? expected[i] : '\0';
    difference |= static_cast<unsigned char>(given[i] ^ other);
  }
  return difference == 0;
}

UploadContent ParseUploadData(UploadKind kind, std::string_view data) {
  UploadContent content;
  std::vector<Line> lines = SplitLines(data);
  content.lines = lines.size();
  if (kind == UploadKind::kSurveyResults) {
    ParseSurveyLines(lines, &content);
  } else {
    ParseLogLines(kind, lines, &content);
  }
  return content;
}

}  // namespace kestrelio
