// The program log (programlog.txt): one line per program run, "device, start, last
// seen", whose last timestamp every logging pass brings up to date in place.
#pragma once

#include <string>
#include <string_view>

#include "study/study_time.h"

namespace kestrelio {

inline constexpr std::string_view kProgramLogFile = "programlog.txt";

// "%s, <start>, <now>" + CR LF.
std::string FormatProgramLine(std::string_view device_id, std::string_view start_time,
                              const StudyTime& now);

// Whether `tail` (the file's last 21 bytes) is a 19-character study timestamp and CR LF:
// the only ending that may be overwritten in place.
bool EndsWithTimestampLine(std::string_view tail);

enum class ProgramLogUpdate { kInPlace, kAppended, kFailed };

// Brings the last line's second timestamp to `now`. When the file does not end in a
// timestamp line (it is missing, empty, cut short or written by someone else) a fresh
// line for this run is appended instead, so nothing but a timestamp is ever overwritten.
ProgramLogUpdate UpdateProgramLog(const std::string& path, std::string_view device_id,
                                  std::string_view start_time, const StudyTime& now);

}  // namespace kestrelio
