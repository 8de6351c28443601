#include "study/history_file.h"

#include "study/study_text.h"

namespace kestrelio {
namespace {
constexpr size_t kMaxHistoryNameBytes = 31;
constexpr size_t kMaxHistoryNumberChars = 15;
}  // namespace

std::string_view HistoryMarkText(HistoryMark mark) {
  switch (mark) {
    case HistoryMark::kOut:
      return "OUT";
    case HistoryMark::kIn:
      return "IN ";
    case HistoryMark::kOutMissed:
      return "OU*";
    case HistoryMark::kInMissed:
      return "IN*";
  }
  return "OUT";
}

std::string FormatHistoryLine(HistoryMark mark, const StudyTime& time, std::string_view name,
                              std::string_view number) {
  std::string line;
  line.reserve(96);
  AppendFormat(line, "%s, [%02d/%02d %02d:%02d] ", std::string(HistoryMarkText(mark)).c_str(),
               time.month, time.day, time.hour, time.minute);
  AppendFormat(line, "%s, %s\r\n", OneLineField(CutUtf8(name, kMaxHistoryNameBytes)).c_str(),
               OneLineField(CutUtf8(number, kMaxHistoryNumberChars)).c_str());
  return line;
}

}  // namespace kestrelio
