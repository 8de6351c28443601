// Checks a survey page against the grammar the handset's survey dialog reads:
//
//   page   := "^" | block{1,3} "^"
//   block  := number LF text LF answer{1,10} "#"
//   answer := number ":" text LF
//
// with the whole page at most 1023 bytes. The server is stricter than the handset
// needs to be, so that a page either shows as its author meant or is refused here:
// no carriage returns or other control characters, no empty texts, no repeated answer
// numbers, nothing but line feeds after the final "^", and no line feed between a "#"
// and what follows it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrelio {

inline constexpr size_t kMaxSurveyPageBytes = 1023;
inline constexpr size_t kMaxSurveyBlocks = 3;
inline constexpr size_t kMaxSurveyAnswers = 10;

struct PageCheck {
  bool ok = true;
  size_t line = 0;  // 1-based line of the first fault
  std::string reason;
  size_t blocks = 0;  // question blocks of a sound page
};

PageCheck CheckSurveyPage(std::string_view page);

}  // namespace kestrelio
