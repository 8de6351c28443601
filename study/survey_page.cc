#include "study/survey_page.h"

#include <climits>

namespace kestrelio {
namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads the next line (without its line feed) from `page` at `at`; false when the page
// ends before the line feed.
bool NextLine(std::string_view page, size_t& at, std::string_view& line) {
  const size_t end = page.find('\n', at);
  if (end == std::string_view::npos) return false;
  line = page.substr(at, end - at);
  at = end + 1;
  return true;
}

SurveyPageError ParseBlock(std::string_view page, size_t& at, SurveyQuestion& question) {
  std::string_view line;
  if (!NextLine(page, at, line)) return SurveyPageError::kBlockWithoutEnd;
  question.number = ReadSurveyNumber(line);
  if (!NextLine(page, at, line)) return SurveyPageError::kBlockWithoutEnd;
  question.text = std::string(line);
  while (true) {
    if (at >= page.size()) return SurveyPageError::kBlockWithoutEnd;
    if (page[at] == '#') {
      ++at;
      break;
    }
    if (!NextLine(page, at, line)) return SurveyPageError::kBlockWithoutEnd;
    if (question.answers.size() == kMaxSurveyAnswers) return SurveyPageError::kTooManyAnswers;
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) return SurveyPageError::kAnswerWithoutColon;
    question.answers.push_back(
        {ReadSurveyNumber(line.substr(0, colon)), std::string(line.substr(colon + 1))});
  }
  if (question.answers.empty()) return SurveyPageError::kNoAnswers;
  return SurveyPageError::kNone;
}

}  // namespace

std::string_view SurveyPageErrorText(SurveyPageError error) {
  switch (error) {
    case SurveyPageError::kNone:
      return "sound";
    case SurveyPageError::kEmpty:
      return "empty reply";
    case SurveyPageError::kTooLong:
      return "longer than 1023 bytes";
    case SurveyPageError::kZeroByte:
      return "zero byte inside";
    case SurveyPageError::kBlockWithoutEnd:
      return "a question block without its closing '#'";
    case SurveyPageError::kNoAnswers:
      return "a question without answers";
    case SurveyPageError::kTooManyAnswers:
      return "a question with more than ten answers";
    case SurveyPageError::kAnswerWithoutColon:
      return "an answer line without ':'";
    case SurveyPageError::kNoFinalMark:
      return "no final '^'";
  }
  return "unknown";
}

int ReadSurveyNumber(std::string_view text) {
  size_t at = 0;
  while (at < text.size() && IsSpace(text[at])) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    negative = text[at] == '-';
    ++at;
  }
  long long value = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    value = value * 10 + (text[at] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

SurveyPageParse ParseSurveyPage(std::string_view page) {
  SurveyPageParse result;
  auto refuse = [&result](SurveyPageError error) {
    result.error = error;
    result.page = SurveyPage{};
    return result;
  };
  if (page.empty()) return refuse(SurveyPageError::kEmpty);
  if (page.size() > kMaxSurveyPageBytes) return refuse(SurveyPageError::kTooLong);
  if (page.find('\0') != std::string_view::npos) return refuse(SurveyPageError::kZeroByte);

  size_t at = 0;
  for (size_t entry = 0; entry < kSurveyEntries; ++entry) {
    if (at < page.size() && page[at] == '^') return result;
    if (at >= page.size()) return refuse(SurveyPageError::kNoFinalMark);
    SurveyQuestion question;
    const SurveyPageError error = ParseBlock(page, at, question);
    if (error != SurveyPageError::kNone) return refuse(error);
    result.page.entries[entry] = std::move(question);
  }
  return result;  // what follows the third block is ignored
}

}  // namespace kestrelio
