// Survey response blocks: a sound block gives its six values; each line damaged in turn
// is refused, naming the line.
#include "servers/study/survey_response_parser.h"

#include <gtest/gtest.h>

#include <vector>

#include "record_samples.h"

namespace kestrelio {
namespace {

std::vector<std::string_view> LinesOf(const std::string& text) {
  std::vector<std::string_view> lines;
  std::string_view rest = text;
  while (!rest.empty()) {
    size_t end = rest.find("\r\n");
    lines.push_back(rest.substr(0, end));
    rest.remove_prefix(end + 2);
  }
  return lines;
}

TEST(SurveyResponse, SoundBlockGivesItsValues) {
  std::string text = samples::SurveyResponse(4, 17, "missed_call");
  auto lines = LinesOf(text);
  std::string why;
  auto record = ParseSurveyResponse(lines, &why);
  ASSERT_TRUE(record) << why;
  const auto& v = record->values;
  EXPECT_EQ(std::get<std::string_view>(v[0]), samples::kDevice);
  EXPECT_EQ(std::get<std::string_view>(v[1]), "missed_call");
  EXPECT_EQ(std::get<int64_t>(v[2]), 4);
  EXPECT_EQ(std::get<int64_t>(v[3]), 17);
  EXPECT_EQ(std::get<std::string_view>(v[4]), "2026-01-02 10:02:00");
  EXPECT_EQ(std::get<std::string_view>(v[5]), "2026-01-02 10:02:07");
  // The raw text spans the seven lines, inner line ends included.
  EXPECT_EQ(record->raw, std::string_view(text).substr(0, text.size() - 2));
}

struct DamageCase {
  const char* name;
  std::string from;
  std::string to;
  const char* reason;
};

class SurveyDamageTest : public testing::TestWithParam<DamageCase> {};

TEST_P(SurveyDamageTest, IsRefused) {
  const DamageCase& c = GetParam();
  std::string text = samples::SurveyResponse();
  size_t at = text.find(c.from);
  ASSERT_NE(at, std::string::npos);
  text.replace(at, c.from.size(), c.to);
  auto lines = LinesOf(text);
  std::string why;
  EXPECT_FALSE(ParseSurveyResponse(lines, &why));
  EXPECT_NE(why.find(c.reason), std::string::npos) << why;
}

INSTANTIATE_TEST_SUITE_P(
    Damage, SurveyDamageTest,
    testing::Values(DamageCase{"unknown_trigger", "after_call", "after_lunch", "line 1 trigger"},
                    DamageCase{"no_quote", "after_call\"", "after_call", "line 1: expected"},
                    DamageCase{"device", "<device>0123", "<device>zz23", "line 2 device"},
                    DamageCase{"device_tag", "</device>", "</dev>", "line 2: expected <device>"},
                    DamageCase{"no_tab", "\t<qid>", "<qid>", "line 3: expected <qid>"},
                    DamageCase{"question", "<qid>4<", "<qid>four<", "line 3 question"},
                    DamageCase{"answer", "<aid>17<", "<aid><", "line 4 answer"},
                    DamageCase{"show_time", "10:02:00", "10:02", "line 5 show_time"},
                    DamageCase{"submit_time", "10:02:07", "25:02:07", "line 6 submit_time"},
                    DamageCase{"closing", "</response>", "</responses>",
                               "line 7: expected </response>"},
                    DamageCase{"cut_short", "</response>\r\n", "", "ends inside"}),
    [](const testing::TestParamInfo<DamageCase>& case_info) { return case_info.param.name; });

}  // namespace
}  // namespace kestrelio
