// The call history file (history_info.txt): one line per call attempt,
// "OUT, [MM/DD hh:mm] name, number" with CR LF. The History dialog reads it back.
#pragma once

#include <string>
#include <string_view>

#include "study/study_time.h"

namespace kestrelio {

enum class HistoryMark {
  kOut,        // "OUT": outgoing call that got an answer
  kIn,         // "IN ": incoming call request answered other than with the no-answer reply
  kOutMissed,  // "OU*": outgoing call not answered within 30 s
  kInMissed,   // "IN*": incoming call not answered
};

std::string_view HistoryMarkText(HistoryMark mark);

// "%s, [%02d/%02d %02d:%02d] %s, %s" + CR LF. The name is cut to 31 bytes and the
// number to 15; control characters become spaces.
std::string FormatHistoryLine(HistoryMark mark, const StudyTime& time, std::string_view name,
                              std::string_view number);

}  // namespace kestrelio
