// The survey page the study server returns for a trigger: one to three question
// blocks, each ended by '#', the last followed by '^'; a page that begins with '^'
// holds no questions.
//
//   4\n                 question number
//   How was the call?\n question text
//   17:Good\n           one to ten answers: number ':' text
//   18:Bad\n
//   #                   end of the block, directly after the last line feed
//   ...up to two more blocks...
//   ^
//
// Numbers read like atoi: leading white space, an optional sign and the digits after
// it (0 when there are none; saturated at the int range). Carriage returns stay in the
// texts. Text after the third block is ignored.
//
// Every other shape breaks the grammar, and the whole page is refused with the reason:
// the page came from outside and a half-understood survey would record answers to
// questions nobody asked.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrelio {

inline constexpr size_t kMaxSurveyPageBytes = 1023;
inline constexpr size_t kMaxSurveyAnswers = 10;
inline constexpr size_t kSurveyEntries = 3;

struct SurveyAnswer {
  int number = 0;
  std::string text;
};

struct SurveyQuestion {
  int number = 0;
  std::string text;
  std::vector<SurveyAnswer> answers;  // 1 to kMaxSurveyAnswers, in page order
};

// Exactly three entries; an empty one is "none" (the page had no such block, or the
// branching rule took it away).
struct SurveyPage {
  std::array<std::optional<SurveyQuestion>, kSurveyEntries> entries;
};

enum class SurveyPageError {
  kNone,
  kEmpty,            // no bytes at all
  kTooLong,          // more than kMaxSurveyPageBytes
  kZeroByte,         // a NUL inside the page
  kBlockWithoutEnd,  // the page ends inside a block (a line without its line feed,
                     // or no '#')
  kNoAnswers,        // a block with no answer line
  kTooManyAnswers,   // more than kMaxSurveyAnswers answer lines
  kAnswerWithoutColon,
  kNoFinalMark,  // the page ends after a block without the '^'
};

std::string_view SurveyPageErrorText(SurveyPageError error);

struct SurveyPageParse {
  SurveyPageError error = SurveyPageError::kNone;
  SurveyPage page;  // all "none" when error is not kNone
};

SurveyPageParse ParseSurveyPage(std::string_view page);

// atoi-style number at the start of `text`, saturated.
int ReadSurveyNumber(std::string_view text);

}  // namespace kestrelio
