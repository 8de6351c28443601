// The survey response records of survey_results.txt: blocks of seven lines,
//
//   <response trigger="after_call">
//   \t<device>0123456789ABCDEF0123</device>
//   \t<qid>4</qid>
//   \t<aid>17</aid>
//   \t<showtime>2026-01-02 10:00:00</showtime>
//   \t<submittime>2026-01-02 10:00:09</submittime>
//   </response>
//
// one after another, with no root element.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "servers/study/study_record.h"

namespace kestrelio {

// Parses one block from the first seven of `lines` (views into one upload, line ends
// removed); the record's raw text spans them. On failure `why` tells.
std::optional<StudyRecord> ParseSurveyResponse(std::span<const std::string_view> lines,
                                               std::string* why);

// Whether `line` opens a block; the intake starts over at such a line after a bad one.
bool StartsSurveyResponse(std::string_view line);

inline constexpr size_t kSurveyResponseLines = 7;

}  // namespace kestrelio
