// The comma lists of the call, battery, IP and program logs: fields joined with ", ",
// no quoting. The handset strips commas from user names, so a record splits into
// exactly its table's field count; any other count is refused rather than guessed at.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "servers/study/study_record.h"

namespace kestrelio {

// Parses one line (no line end) as a record of `table`. On failure `why` tells.
std::optional<StudyRecord> ParseLogLine(StudyTable table, std::string_view line, std::string* why);

// A call log line is a call record or an unanswered-call record; the second field
// ("INCOMING" or "incoming", ...) tells which.
std::optional<StudyRecord> ParseCallLogLine(std::string_view line, std::string* why);

}  // namespace kestrelio
