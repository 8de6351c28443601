#include "study/survey_page.h"

#include <gtest/gtest.h>

#include <climits>

namespace kestrelio {
namespace {

const std::string kBlock4 = "4\nHow was the call?\n17:Good\n18:Bad\n#";
const std::string kBlock5 = "5\nWhere are you?\n19:Home\n20:Work\n21:Outside\n#";
const std::string kBlock6 = "6\nAlone?\n1:Yes\n2:No\n#";

SurveyPageError ErrorOf(std::string_view page) { return ParseSurveyPage(page).error; }

TEST(SurveyPage, CaretAloneHoldsNoQuestions) {
  SurveyPageParse parse = ParseSurveyPage("^");
  EXPECT_EQ(parse.error, SurveyPageError::kNone);
  for (const auto& entry : parse.page.entries) EXPECT_FALSE(entry.has_value());
  EXPECT_EQ(ErrorOf("^anything after"), SurveyPageError::kNone);
}

TEST(SurveyPage, OneBlockReadsNumbersTextsAndAnswersInOrder) {
  SurveyPageParse parse = ParseSurveyPage(kBlock4 + "^");
  ASSERT_EQ(parse.error, SurveyPageError::kNone);
  ASSERT_TRUE(parse.page.entries[0].has_value());
  const SurveyQuestion& q = *parse.page.entries[0];
  EXPECT_EQ(q.number, 4);
  EXPECT_EQ(q.text, "How was the call?");
  ASSERT_EQ(q.answers.size(), 2u);
  EXPECT_EQ(q.answers[0].number, 17);
  EXPECT_EQ(q.answers[0].text, "Good");
  EXPECT_EQ(q.answers[1].number, 18);
  EXPECT_EQ(q.answers[1].text, "Bad");
  EXPECT_FALSE(parse.page.entries[1].has_value());
  EXPECT_FALSE(parse.page.entries[2].has_value());
}

TEST(SurveyPage, ThreeBlocksAndAnythingAfterTheThirdIgnored) {
  SurveyPageParse parse = ParseSurveyPage(kBlock4 + kBlock5 + kBlock6 + "7\nFourth?\n1:x\n#^");
  ASSERT_EQ(parse.error, SurveyPageError::kNone);
  EXPECT_EQ(parse.page.entries[0]->number, 4);
  EXPECT_EQ(parse.page.entries[1]->number, 5);
  EXPECT_EQ(parse.page.entries[1]->answers.size(), 3u);
  EXPECT_EQ(parse.page.entries[2]->number, 6);
  // Three blocks need no final mark.
  EXPECT_EQ(ErrorOf(kBlock4 + kBlock5 + kBlock6), SurveyPageError::kNone);
}

TEST(SurveyPage, CarriageReturnsStayAndHashOrColonInsideTextsIsText) {
  SurveyPageParse parse = ParseSurveyPage("4\r\n#1 question: yes\r\n17:a:b#c\r\n#^");
  ASSERT_EQ(parse.error, SurveyPageError::kNone);
  const SurveyQuestion& q = *parse.page.entries[0];
  EXPECT_EQ(q.number, 4);
  EXPECT_EQ(q.text, "#1 question: yes\r");
  EXPECT_EQ(q.answers[0].number, 17);
  EXPECT_EQ(q.answers[0].text, "a:b#c\r");
}

TEST(SurveyPage, NumbersReadLikeAtoi) {
  EXPECT_EQ(ReadSurveyNumber("  42abc"), 42);
  EXPECT_EQ(ReadSurveyNumber("\t-7"), -7);
  EXPECT_EQ(ReadSurveyNumber("+3"), 3);
  EXPECT_EQ(ReadSurveyNumber("abc"), 0);
  EXPECT_EQ(ReadSurveyNumber(""), 0);
  EXPECT_EQ(ReadSurveyNumber("-"), 0);
  EXPECT_EQ(ReadSurveyNumber("99999999999999999999"), INT_MAX);
  EXPECT_EQ(ReadSurveyNumber("-99999999999999999999"), INT_MIN);
  SurveyPageParse parse = ParseSurveyPage("x\ntext\n:none\n#^");
  ASSERT_EQ(parse.error, SurveyPageError::kNone);
  EXPECT_EQ(parse.page.entries[0]->number, 0);
  EXPECT_EQ(parse.page.entries[0]->answers[0].number, 0);
}

TEST(SurveyPage, TenAnswersFitElevenBreakTheGrammar) {
  std::string ten = "4\nQ\n";
  for (int i = 1; i <= 10; ++i) ten += std::to_string(i) + ":a\n";
  SurveyPageParse parse = ParseSurveyPage(ten + "#^");
  ASSERT_EQ(parse.error, SurveyPageError::kNone);
  EXPECT_EQ(parse.page.entries[0]->answers.size(), 10u);
  EXPECT_EQ(ErrorOf(ten + "11:a\n#^"), SurveyPageError::kTooManyAnswers);
}

TEST(SurveyPage, EveryGrammarBreakRefusesTheWholePage) {
  EXPECT_EQ(ErrorOf(""), SurveyPageError::kEmpty);
  EXPECT_EQ(ErrorOf(std::string(1024, '^')), SurveyPageError::kTooLong);
  EXPECT_EQ(ErrorOf(kBlock4 + std::string("\0^", 2)), SurveyPageError::kZeroByte);
  // Without the closing '#'.
  EXPECT_EQ(ErrorOf("4\nQ\n17:Good\n18:Bad\n^"), SurveyPageError::kBlockWithoutEnd);
  EXPECT_EQ(ErrorOf("4\nQ\n17:Good\n18:Bad\n^\n"), SurveyPageError::kAnswerWithoutColon);
  EXPECT_EQ(ErrorOf("4\nQ\n17:Good\n18:Bad\n"), SurveyPageError::kBlockWithoutEnd);
  EXPECT_EQ(ErrorOf("4\nQ\n17:Good"), SurveyPageError::kBlockWithoutEnd);  // no line feed
  EXPECT_EQ(ErrorOf("4\nQ"), SurveyPageError::kBlockWithoutEnd);
  EXPECT_EQ(ErrorOf("4"), SurveyPageError::kBlockWithoutEnd);
  // '#' not directly after a line feed is text, so the block never ends.
  EXPECT_EQ(ErrorOf("4\nQ\n17:Good#^"), SurveyPageError::kBlockWithoutEnd);
  EXPECT_EQ(ErrorOf("4\nQ\n#^"), SurveyPageError::kNoAnswers);
  EXPECT_EQ(ErrorOf("4\nQ\nGood\n#^"), SurveyPageError::kAnswerWithoutColon);
  // Without the final '^', after one or two blocks; the sound blocks are not shown.
  EXPECT_EQ(ErrorOf(kBlock4), SurveyPageError::kNoFinalMark);
  EXPECT_EQ(ErrorOf(kBlock4 + kBlock5), SurveyPageError::kNoFinalMark);
  SurveyPageParse parse = ParseSurveyPage(kBlock4 + kBlock5 + "junk");
  EXPECT_NE(parse.error, SurveyPageError::kNone);
  for (const auto& entry : parse.page.entries) EXPECT_FALSE(entry.has_value());
  // An HTML error page is no survey.
  EXPECT_NE(ErrorOf("<html><body>500 Internal Server Error</body></html>\n"),
            SurveyPageError::kNone);
}

TEST(SurveyPage, LongestPageIsAccepted) {
  std::string page = "4\n" + std::string(1000, 'q') + "\n17:a\n#^";
  page.insert(2, std::string(kMaxSurveyPageBytes - page.size(), 'q'));
  ASSERT_EQ(page.size(), kMaxSurveyPageBytes);
  EXPECT_EQ(ErrorOf(page), SurveyPageError::kNone);
  EXPECT_EQ(ErrorOf(page + "x"), SurveyPageError::kTooLong);
}

TEST(SurveyPage, ErrorsHaveTexts) {
  EXPECT_EQ(SurveyPageErrorText(SurveyPageError::kNoFinalMark), "no final '^'");
  EXPECT_EQ(SurveyPageErrorText(SurveyPageError::kTooLong), "longer than 1023 bytes");
}

}  // namespace
}  // namespace kestrelio
