#include "study/battery_log.h"

#include "study/study_text.h"

namespace kestrelio {

std::string FormatBatteryLine(std::string_view device_id, const BatteryLogLine& line,
                              const StudyTime& time, int battery_percent) {
  std::string text = OneLineField(device_id);
  AppendFormat(text, ", %d, %s, %s, %d\r\n", line.first ? 1 : 0,
               line.plugged ? "plugged" : "unplugged", FormatStudyTimestamp(time).c_str(),
               battery_percent);
  return text;
}

std::optional<BatteryLogLine> BatteryLogState::Step(int ac_line) {
  const int previous = previous_;
  previous_ = ac_line;
  if (previous == kAcLineStateUnknown && (ac_line == 0 || ac_line == 1)) {
    return BatteryLogLine{true, ac_line == 1};
  }
  if (previous == 0 && ac_line == 1) return BatteryLogLine{false, true};
  if (previous == 1 && ac_line == 0) return BatteryLogLine{false, false};
  return std::nullopt;
}

}  // namespace kestrelio
