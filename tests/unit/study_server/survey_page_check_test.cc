// Survey pages against the page grammar, and the default bank that ships with the
// server.
#include "servers/study/survey_page_check.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "servers/study/survey_bank.h"

namespace kestrelio {
namespace {

struct PageCase {
  const char* name;
  std::string page;
  bool ok;
  size_t line;  // of the fault
  const char* reason;
};

class SurveyPageTest : public testing::TestWithParam<PageCase> {};

TEST_P(SurveyPageTest, Checks) {
  const PageCase& c = GetParam();
  PageCheck check = CheckSurveyPage(c.page);
  EXPECT_EQ(check.ok, c.ok) << check.line << ": " << check.reason;
  if (c.ok) return;
  EXPECT_EQ(check.line, c.line) << check.reason;
  EXPECT_NE(check.reason.find(c.reason), std::string::npos) << check.reason;
}

const std::string kBlock = "4\nDid you sign?\n16:Yes\n17:No\n#";

INSTANTIATE_TEST_SUITE_P(
    Pages, SurveyPageTest,
    testing::Values(
        PageCase{"no_questions", "^", true, 0, ""},
        PageCase{"no_questions_newline", "^\n", true, 0, ""},
        PageCase{"one_block", kBlock + "^", true, 0, ""},
        PageCase{"three_blocks", kBlock + kBlock + kBlock + "^\n", true, 0, ""},
        PageCase{"ten_answers", "5\nQ\n1:a\n2:b\n3:c\n4:d\n5:e\n6:f\n7:g\n8:h\n9:i\n10:j\n#^", true,
                 0, ""},
        PageCase{"eleven_answers",
                 "5\nQ\n1:a\n2:b\n3:c\n4:d\n5:e\n6:f\n7:g\n8:h\n9:i\n10:j\n11:k\n#^", false, 13,
                 "more than 10 answers"},
        PageCase{"four_blocks", kBlock + kBlock + kBlock + kBlock + "^", false, 13,
                 "more than three"},
        PageCase{"empty", "", false, 1, "empty page"},
        PageCase{"no_final_caret", kBlock, false, 5, "does not end with"},
        PageCase{"not_closed", "4\nQ\n16:Yes\n", false, 4, "not closed"},
        PageCase{"no_answers", "4\nQ\n#^", false, 3, "without answers"},
        PageCase{"number_not_digits", "four\nQ\n1:a\n#^", false, 1, "question number"},
        PageCase{"empty_question", "4\n\n1:a\n#^", false, 2, "empty question text"},
        PageCase{"question_starts_with_hash", "4\n#Q\n1:a\n#^", false, 2, "may not begin"},
        PageCase{"answer_without_colon", "4\nQ\n1 a\n#^", false, 3, "without \":\""},
        PageCase{"answer_number", "4\nQ\nx:a\n#^", false, 3, "answer number expected"},
        PageCase{"answer_empty", "4\nQ\n1:\n#^", false, 3, "empty answer"},
        PageCase{"answer_twice", "4\nQ\n1:a\n1:b\n#^", false, 4, "used twice"},
        PageCase{"carriage_return", "4\nQ\r\n1:a\n#^", false, 2, "carriage return"},
        PageCase{"control_character", "4\nQ\n1:a\x01\n#^", false, 3, "control character"},
        PageCase{"line_feed_after_hash", kBlock + "\n" + kBlock + "^", false, 5, "line feed after"},
        PageCase{"text_after_caret", kBlock + "^\nmore", false, 6, "after the final"},
        PageCase{"too_long", "4\nQ\n1:" + std::string(1020, 'a') + "\n#^", false, 3,
                 "longer than 1023"}),
    [](const testing::TestParamInfo<PageCase>& case_info) { return case_info.param.name; });

TEST(SurveyPageLimit, ExactlyTheBufferIsTaken) {
  std::string head = "4\nQ\n1:";
  std::string tail = "\n#^";
  std::string page =
      head + std::string(kMaxSurveyPageBytes - head.size() - tail.size(), 'a') + tail;
  ASSERT_EQ(page.size(), kMaxSurveyPageBytes);
  EXPECT_TRUE(CheckSurveyPage(page).ok);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(DefaultBank, HasASoundPageForEveryTrigger) {
  for (std::string_view trigger : kSurveyTriggers) {
    std::string path =
        std::string(KESTRELIO_SURVEY_SOURCE_DIR) + "/" + std::string(trigger) + ".txt";
    std::string page = ReadFile(path);
    PageCheck check = CheckSurveyPage(page);
    EXPECT_TRUE(check.ok) << path << ":" << check.line << ": " << check.reason;
    EXPECT_GE(check.blocks, 1u) << path;
  }
}

TEST(DefaultBank, AfterCallBeginsWithTheBranchingQuestion) {
  std::string page = ReadFile(std::string(KESTRELIO_SURVEY_SOURCE_DIR) + "/after_call.txt");
  // Question 4 answered with 17 ends the survey after the first block.
  EXPECT_TRUE(page.starts_with("4\n")) << page;
  size_t first_end = page.find('#');
  ASSERT_NE(first_end, std::string::npos);
  EXPECT_NE(page.substr(0, first_end).find("\n17:"), std::string::npos);
  EXPECT_GE(CheckSurveyPage(page).blocks, 2u);
}

}  // namespace
}  // namespace kestrelio
