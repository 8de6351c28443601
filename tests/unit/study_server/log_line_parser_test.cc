// The comma-list records of the four logs: sound records of every kind are taken with
// their values in column order; damaged ones are refused with a reason.
#include "servers/study/log_line_parser.h"

#include <gtest/gtest.h>

#include "record_samples.h"
#include "study/call_log.h"

namespace kestrelio {
namespace {

std::string Replace(std::string line, const std::string& from, const std::string& to) {
  size_t at = line.find(from);
  if (at != std::string::npos) line.replace(at, from.size(), to);
  return line;
}

struct LineCase {
  const char* name;
  bool call_log;  // parsed as a call log line, else as `table`
  StudyTable table;
  std::string line;
  bool accepted;
  StudyTable expected_table;
  const char* reason;  // a fragment of the refusal
};

class LogLineTest : public testing::TestWithParam<LineCase> {};

TEST_P(LogLineTest, TakesOrRefuses) {
  const LineCase& c = GetParam();
  std::string why;
  auto record = c.call_log ? ParseCallLogLine(c.line, &why) : ParseLogLine(c.table, c.line, &why);
  ASSERT_EQ(record.has_value(), c.accepted) << why;
  if (record) {
    EXPECT_EQ(record->table, c.expected_table);
    EXPECT_EQ(record->raw, c.line);
    EXPECT_EQ(record->values.size(), StoredColumnCount(LayoutOf(c.expected_table)));
  } else {
    EXPECT_NE(why.find(c.reason), std::string::npos) << why;
  }
}

using samples::BatteryRecord;
using samples::CallRecord;
using samples::IpRecord;
using samples::ProgramRecord;
using samples::UnansweredRecord;
constexpr StudyTable kCalls = StudyTable::kCalls;
constexpr StudyTable kUnanswered = StudyTable::kUnansweredCalls;
constexpr StudyTable kBattery = StudyTable::kBattery;
constexpr StudyTable kIp = StudyTable::kIp;
constexpr StudyTable kProgram = StudyTable::kProgramRuns;

INSTANTIATE_TEST_SUITE_P(
    Lines, LogLineTest,
    testing::Values(
        LineCase{"call", true, kCalls, CallRecord(), true, kCalls, ""},
        LineCase{"call_raw_name", true, kCalls, CallRecord("&=+%"), true, kCalls, ""},
        LineCase{"call_name_with_comma_only", true, kCalls, CallRecord("a,b"), true, kCalls, ""},
        LineCase{"call_name_with_comma_space", true, kCalls, CallRecord("a, b"), false, kCalls,
                 "31 or more fields, expected 30"},
        LineCase{"call_missing_field", true, kCalls, Replace(CallRecord(), ", 75", ""), false,
                 kCalls, "29 fields, expected 30"},
        LineCase{"call_bad_rate", true, kCalls, Replace(CallRecord(), "11.500000", "fast"), false,
                 kCalls, "sent_fps"},
        LineCase{"call_bad_column_3", true, kCalls, Replace(CallRecord(), "null", "nul"), false,
                 kCalls, "field 3"},
        LineCase{"call_bad_direction", true, kCalls, Replace(CallRecord(), "OUTGOING", "SIDEWAYS"),
                 false, kCalls, "not a call direction"},
        LineCase{"call_lower_direction_full_record", true, kCalls,
                 Replace(CallRecord(), "OUTGOING", "outgoing"), false, kCalls, "outcome"},
        LineCase{"unanswered", true, kCalls, UnansweredRecord(), true, kUnanswered, ""},
        LineCase{"unanswered_bad_outcome", true, kCalls,
                 Replace(UnansweredRecord(), "missed", "ignored"), false, kCalls, "outcome"},
        LineCase{"unanswered_value_in_null_column", true, kCalls,
                 Replace(UnansweredRecord(), "null, 2026", "12, 2026"), false, kCalls, "field 13"},
        LineCase{"call_log_one_field", true, kCalls, samples::kDevice, false, kCalls,
                 "too few fields"},
        LineCase{"battery", false, kBattery, BatteryRecord(), true, kBattery, ""},
        LineCase{"battery_state", false, kBattery, Replace(BatteryRecord(), "plugged", "charging"),
                 false, kBattery, "state"},
        LineCase{"battery_flag", false, kBattery, Replace(BatteryRecord(), ", 1,", ", 2,"), false,
                 kBattery, "first_reading"},
        LineCase{"battery_device", false, kBattery, Replace(BatteryRecord(), "0123", "xyz0"), false,
                 kBattery, "device"},
        LineCase{"ip", false, kIp, IpRecord(), true, kIp, ""},
        LineCase{"ip_disconnected", false, kIp, Replace(IpRecord(), "81.2.3.4", "disconnected"),
                 true, kIp, ""},
        LineCase{"ip_bad_time", false, kIp, Replace(IpRecord(), "12:00:10", "12:00:99"), false, kIp,
                 "time"},
        LineCase{"program", false, kProgram, ProgramRecord(), true, kProgram, ""},
        LineCase{"program_cut", false, kProgram, ProgramRecord().substr(0, 50), false, kProgram,
                 "last_seen"},
        LineCase{"program_in_battery_log", false, kBattery, ProgramRecord(), false, kBattery,
                 "3 fields, expected 5"},
        LineCase{"empty", false, kProgram, "", false, kProgram, "1 fields, expected 3"}),
    [](const testing::TestParamInfo<LineCase>& case_info) { return case_info.param.name; });

TEST(CallRecordValues, ComeInColumnOrder) {
  std::string line = CallRecord("&=+%");
  std::string why;
  auto record = ParseCallLogLine(line, &why);
  ASSERT_TRUE(record) << why;
  const auto& v = record->values;
  EXPECT_EQ(std::get<std::string_view>(v[0]), samples::kDevice);
  EXPECT_EQ(std::get<std::string_view>(v[1]), "OUTGOING");
  EXPECT_EQ(std::get<std::string_view>(v[2]), "&=+%");  // column 3 (null) is not stored
  EXPECT_EQ(std::get<int64_t>(v[11]), 65);
  EXPECT_EQ(std::get<std::string_view>(v[12]), "2026-01-02 10:00:00");
  EXPECT_DOUBLE_EQ(std::get<double>(v[14]), 11.5);
  EXPECT_DOUBLE_EQ(std::get<double>(v[20]), 51.1234);
  EXPECT_EQ(std::get<int64_t>(v[28]), 75);
}

// What the handset's own formatter writes, the server takes.
TEST(HandsetRecords, FormattedRecordsParse) {
  kestrelio::CallRecord call;
  call.parties = {
      samples::kDevice, "Ann", "01234567890", "1.2.3.4", "10.0.0.1", "", "09876543210", "", ""};
  call.direction = CallDirection::kIncoming;
  call.peer_user_name = "Bo";
  call.status_ticks = 0;
  call.start_time = "2026-01-02 10:00:00";
  call.end_time = "2026-01-02 10:00:00";
  call.sent_frame_sum = 7;
  call.start_position = {-33.8688, 151.2093, 2.5, 9};
  std::string line = FormatCallRecord(call);
  ASSERT_TRUE(line.ends_with("\r\n"));
  line.resize(line.size() - 2);
  std::string why;
  auto record = ParseCallLogLine(line, &why);
  ASSERT_TRUE(record) << why << "\n" << line;
  EXPECT_EQ(record->table, StudyTable::kCalls);

  UnansweredCallRecord unanswered;
  unanswered.parties = call.parties;
  unanswered.direction = CallDirection::kOutgoing;
  unanswered.outcome = CallOutcome::kCancelled;
  unanswered.peer_name = "Bo";
  unanswered.time = "2026-01-02 10:00:00";
  line = FormatUnansweredCall(unanswered);
  line.resize(line.size() - 2);
  record = ParseCallLogLine(line, &why);
  ASSERT_TRUE(record) << why << "\n" << line;
  EXPECT_EQ(record->table, StudyTable::kUnansweredCalls);
}

}  // namespace
}  // namespace kestrelio
