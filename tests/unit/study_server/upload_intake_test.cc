// The upload body taken raw, the paths, and the split of an upload into records.
#include "servers/study/upload_intake.h"

#include <gtest/gtest.h>

#include "record_samples.h"

namespace kestrelio {
namespace {

struct BodyCase {
  const char* name;
  std::string body;
  bool split;
  std::string password;
  std::string data;
};

class UploadBodyTest : public testing::TestWithParam<BodyCase> {};

TEST_P(UploadBodyTest, SplitsAtTheFirstDataKey) {
  const BodyCase& c = GetParam();
  auto body = SplitUploadBody(c.body);
  ASSERT_EQ(body.has_value(), c.split);
  if (!body) return;
  EXPECT_EQ(body->password, c.password);
  EXPECT_EQ(body->data, c.data);
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, UploadBodyTest,
    testing::Values(BodyCase{"plain", "passwd=qorvantex&data=abc\r\n", true, "qorvantex",
                             "abc\r\n"},
                    BodyCase{"empty_data", "passwd=qorvantex&data=", true, "qorvantex", ""},
                    // No form decoding: "+", "%", "&" and "=" arrive as sent.
                    BodyCase{"raw_bytes", "passwd=qorvantex&data=a+b%20c&d=e", true, "qorvantex",
                             "a+b%20c&d=e"},
                    BodyCase{"second_data_key_is_data", "passwd=qorvantex&data=x&data=y", true,
                             "qorvantex", "x&data=y"},
                    BodyCase{"wrong_password", "passwd=guess&data=x", true, "guess", "x"},
                    BodyCase{"no_data_key", "passwd=qorvantex", false, "", ""},
                    BodyCase{"data_first", "data=x&passwd=qorvantex", false, "", ""},
                    BodyCase{"empty", "", false, "", ""}),
    [](const testing::TestParamInfo<BodyCase>& case_info) { return case_info.param.name; });

TEST(Password, ComparesWholeText) {
  EXPECT_TRUE(PasswordMatches("qorvantex", kStudyPassword));
  EXPECT_FALSE(PasswordMatches("qorvante", kStudyPassword));
  EXPECT_FALSE(PasswordMatches("qorvantexx", kStudyPassword));
  EXPECT_FALSE(PasswordMatches("", kStudyPassword));
  EXPECT_FALSE(PasswordMatches("Qorvantex", kStudyPassword));
}

TEST(Paths, EveryUploadHasItsPath) {
  for (auto kind : {UploadKind::kSurveyResults, UploadKind::kCallLog, UploadKind::kBatteryLog,
                    UploadKind::kIpLog, UploadKind::kProgramLog}) {
    EXPECT_EQ(UploadKindForPath(UploadPath(kind)), kind);
  }
  EXPECT_EQ(UploadKindForPath("/research/kestrelio/fstd/calllogprocess.php"), UploadKind::kCallLog);
  EXPECT_FALSE(UploadKindForPath("/research/kestrelio/fstd/calllogprocess.php/"));
  EXPECT_FALSE(UploadKindForPath("/research/kestrelio/fstd/survey.php"));
}

TEST(UploadData, GoodLinesAreTakenAroundBadOnes) {
  std::string data = samples::CallRecord() + "\r\ngarbage\r\n\r\n" + samples::UnansweredRecord() +
                     "\r\n" + samples::BatteryRecord() + "\r\n";
  UploadContent content = ParseUploadData(UploadKind::kCallLog, data);
  EXPECT_EQ(content.lines, 4u);  // the empty line is not counted
  ASSERT_EQ(content.records.size(), 2u);
  EXPECT_EQ(content.records[0].table, StudyTable::kCalls);
  EXPECT_EQ(content.records[0].first_line, 1u);
  EXPECT_EQ(content.records[1].table, StudyTable::kUnansweredCalls);
  EXPECT_EQ(content.records[1].first_line, 4u);
  ASSERT_EQ(content.refused.size(), 2u);
  EXPECT_EQ(content.refused[0].raw, "garbage");
  EXPECT_EQ(content.refused[0].first_line, 2u);
  EXPECT_EQ(content.refused[1].first_line, 5u);
  EXPECT_EQ(content.device, samples::kDevice);
}

TEST(UploadData, BareLineFeedsAreTaken) {
  std::string data = samples::BatteryRecord() + "\n" + samples::BatteryRecord() + "\r\n";
  UploadContent content = ParseUploadData(UploadKind::kBatteryLog, data);
  EXPECT_EQ(content.records.size(), 2u);
  EXPECT_TRUE(content.refused.empty());
  // Both have the same raw text, line end aside: the store keeps one.
  EXPECT_EQ(content.records[0].raw, content.records[1].raw);
}

TEST(UploadData, LastLineWithoutLineEndIsRefused) {
  std::string data = samples::ProgramRecord() + "\r\n" + samples::ProgramRecord();
  UploadContent content = ParseUploadData(UploadKind::kProgramLog, data);
  EXPECT_EQ(content.records.size(), 1u);
  ASSERT_EQ(content.refused.size(), 1u);
  EXPECT_NE(content.refused[0].reason.find("no line end"), std::string::npos);
}

TEST(UploadData, EmptyUploadHasNothing) {
  UploadContent content = ParseUploadData(UploadKind::kSurveyResults, "");
  EXPECT_EQ(content.lines, 0u);
  EXPECT_TRUE(content.records.empty());
  EXPECT_TRUE(content.refused.empty());
  EXPECT_TRUE(content.device.empty());
}

TEST(UploadData, RecordsOfAnotherLogAreRefused) {
  UploadContent content = ParseUploadData(UploadKind::kIpLog, samples::BatteryRecord() + "\r\n");
  EXPECT_TRUE(content.records.empty());
  EXPECT_EQ(content.refused.size(), 1u);
}

TEST(SurveyData, BadBlockIsRefusedUpToTheNextResponse) {
  std::string broken = samples::SurveyResponse(5, 19);
  broken.replace(broken.find("<qid>5"), 6, "<qid>x");
  std::string data = samples::SurveyResponse(4, 17) + broken + "stray line\r\n" +
                     samples::SurveyResponse(6, 25, "gps_change");
  UploadContent content = ParseUploadData(UploadKind::kSurveyResults, data);
  ASSERT_EQ(content.records.size(), 2u);
  EXPECT_EQ(content.records[0].first_line, 1u);
  EXPECT_EQ(content.records[1].first_line, 16u);
  EXPECT_EQ(std::get<std::string_view>(content.records[1].values[1]), "gps_change");
  ASSERT_EQ(content.refused.size(), 1u);
  EXPECT_EQ(content.refused[0].first_line, 8u);
  EXPECT_EQ(content.refused[0].line_count, 8u);  // the block and the stray line
  EXPECT_NE(content.refused[0].reason.find("line 3"), std::string::npos);
}

TEST(SurveyData, CutShortBlockIsRefused) {
  std::string data = samples::SurveyResponse();
  data.resize(data.size() - 2);  // no line end after </response>
  UploadContent content = ParseUploadData(UploadKind::kSurveyResults, data);
  EXPECT_TRUE(content.records.empty());
  ASSERT_EQ(content.refused.size(), 1u);
  EXPECT_EQ(content.refused[0].line_count, 7u);
}

TEST(SurveyData, LogLinesInTheSurveyUploadAreRefused) {
  UploadContent content =
      ParseUploadData(UploadKind::kSurveyResults, samples::BatteryRecord() + "\r\n");
  EXPECT_TRUE(content.records.empty());
  EXPECT_EQ(content.refused.size(), 1u);
}

}  // namespace
}  // namespace kestrelio
