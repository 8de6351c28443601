// The battery log (batterylog.txt): a line when the external-power state is first read
// and whenever it changes between two logging passes.
//
//   current  previous  line
//   1        255       first reading, plugged
//   0        255       first reading, unplugged
//   1        0         change, plugged
//   0        1         change, unplugged
//   other combinations write nothing
//
// The previous state becomes the current one after every reading, so an unknown (255)
// reading makes the next 0 or 1 a first reading again, and any other value (such as 2)
// silences the reading after it too.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "study/study_time.h"

namespace kestrelio {

inline constexpr std::string_view kBatteryLogFile = "batterylog.txt";
inline constexpr int kAcLineStateUnknown = 255;

struct BatteryLogLine {
  bool first = false;  // column 2: 1 first reading, 0 change
  bool plugged = false;
};

// "%s, 1|0, plugged|unplugged, <time>, %d" + CR LF.
std::string FormatBatteryLine(std::string_view device_id, const BatteryLogLine& line,
                              const StudyTime& time, int battery_percent);

class BatteryLogState {
 public:
  std::optional<BatteryLogLine> Step(int ac_line);
  int previous() const { return previous_; }

 private:
  int previous_ = kAcLineStateUnknown;
};

}  // namespace kestrelio
