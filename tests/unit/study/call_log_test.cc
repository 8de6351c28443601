#include "study/call_log.h"

#include <gtest/gtest.h>

#include "study/history_file.h"
#include "study/study_time.h"

namespace kestrelio {
namespace {

CallLogParties Parties() {
  CallLogParties p;
  p.device_id = "0123456789ABCDEF0123";
  p.own_user_name = "Ann";
  p.own_phone_number = "12063330001";
  p.own_public_address = "203.0.113.7";
  p.own_local_address = "127.0.0.2";
  p.setup_note = "call-17";
  p.peer_phone_number = "12063330002";
  p.peer_public_address = "203.0.113.8";
  p.peer_local_address = "127.0.0.3";
  return p;
}

size_t Columns(const std::string& line) {
  size_t columns = 1;
  for (size_t at = line.find(", "); at != std::string::npos; at = line.find(", ", at + 2)) {
    ++columns;
  }
  return columns;
}

TEST(CallRecord, ThirtyColumnsExactlyAsFormatted) {
  CallRecord r;
  r.parties = Parties();
  r.direction = CallDirection::kOutgoing;
  r.peer_user_name = "Bob";
  r.status_ticks = 2;
  r.start_time = "2024-03-07 09:05:01";
  r.end_time = "2024-03-07 09:05:03";
  r.sent_frame_sum = 5;       // 5 x (1/3) = 1.666667 fps
  r.received_frame_sum = 30;  // 10 fps
  r.lost_packet_total = 4;
  r.sent_byte_total = 1000;      // + trunc(2 x 1.6667 x 34) = 113
  r.received_byte_total = 2000;  // + 2 x 10 x 34 = 680
  r.start_position = {47.61, -122.33, 1.5, 6};
  r.end_position = {47.62, -122.33, 0.0, 5};
  r.start_battery = 80;
  r.end_battery = 79;
  std::string line = FormatCallRecord(r);
  EXPECT_EQ(line,
            "0123456789ABCDEF0123, OUTGOING, null, Ann, 12063330001, 203.0.113.7, 127.0.0.2, "
            "call-17, Bob, 12063330002, 203.0.113.8, 127.0.0.3, 2, 2024-03-07 09:05:01, "
            "2024-03-07 09:05:03, 1.666667, 10.000000, 4, 1113, 2680, 6, 47.6100, -122.3300, "
            "1.5000, 5, 47.6200, -122.3300, 0.0000, 80, 79\r\n");
  EXPECT_EQ(Columns(line), 30u);
  EXPECT_TRUE(PositionChanged(r));
  r.end_position = {47.61, -122.33, 9.0, 1};
  EXPECT_FALSE(PositionChanged(r));
}

TEST(CallRecord, AZeroSecondCallDividesByOne) {
  EXPECT_DOUBLE_EQ(AverageFrameRate(7, 0), 7.0);
  EXPECT_EQ(EstimatedBytes(500, 0, 7.0), 500);
  CallRecord r;
  r.direction = CallDirection::kIncoming;
  r.sent_frame_sum = 7;
  std::string line = FormatCallRecord(r);
  EXPECT_NE(line.find(", INCOMING, null, "), std::string::npos);
  EXPECT_NE(line.find(", 0, , , 7.000000, 0.000000, 0, 0, 0, "), std::string::npos);
  EXPECT_EQ(Columns(line), 30u);
}

TEST(CallRecord, EstimatesTruncateTowardZero) {
  // 3 ticks, 10 frames: 2.5 fps; 3 x 2.5 x 34 = 255 exactly.
  EXPECT_EQ(EstimatedBytes(0, 3, AverageFrameRate(10, 3)), 255);
  // 1 tick, 1 frame: 0.5 fps; 17 exactly. 2 ticks, 1 frame: 2 x 0.3333 x 34 = 22.67 -> 22.
  EXPECT_EQ(EstimatedBytes(0, 1, AverageFrameRate(1, 1)), 17);
  EXPECT_EQ(EstimatedBytes(10, 2, AverageFrameRate(1, 2)), 32);
}

TEST(UnansweredCall, ThirtyColumnsWithNulls) {
  UnansweredCallRecord r;
  r.parties = Parties();
  r.direction = CallDirection::kIncoming;
  r.outcome = CallOutcome::kRejected;
  r.peer_name = "Bob";
  r.time = "2024-03-07 09:05:01";
  r.position = {47.61, -122.33, 1.5, 6};
  r.start_battery = 80;
  std::string line = FormatUnansweredCall(r);
  EXPECT_EQ(line,
            "0123456789ABCDEF0123, incoming, rejected, Ann, 12063330001, 203.0.113.7, "
            "127.0.0.2, call-17, Bob, 12063330002, 203.0.113.8, 127.0.0.3, null, "
            "2024-03-07 09:05:01, null, null, null, null, null, null, 6, 47.6100, -122.3300, "
            "1.5000, null, null, null, null, 80, null\r\n");
  EXPECT_EQ(Columns(line), 30u);
}

TEST(UnansweredCall, OutcomeAndDirectionTexts) {
  EXPECT_EQ(CallOutcomeText(CallOutcome::kMissed), "missed");
  EXPECT_EQ(CallOutcomeText(CallOutcome::kBusy), "busy");
  EXPECT_EQ(CallOutcomeText(CallOutcome::kCancelled), "cancelled");
  EXPECT_EQ(CallDirectionLower(CallDirection::kOutgoing), "outgoing");
  EXPECT_EQ(CallDirectionUpper(CallDirection::kIncoming), "INCOMING");
}

TEST(CallLogText, ANameFromTheNetworkCannotBreakTheLine) {
  UnansweredCallRecord r;
  r.peer_name = "Bo\r\nb\x01";
  std::string line = FormatUnansweredCall(r);
  EXPECT_NE(line.find(", Bo  b , "), std::string::npos);
  EXPECT_EQ(line.find('\n'), line.size() - 1);
}

TEST(HistoryLine, FormatAndMarks) {
  StudyTime t{2024, 3, 7, 9, 5, 59};
  EXPECT_EQ(FormatHistoryLine(HistoryMark::kOut, t, "Bob", "12063330002"),
            "OUT, [03/07 09:05] Bob, 12063330002\r\n");
  EXPECT_EQ(FormatHistoryLine(HistoryMark::kIn, t, "Bob", "1"), "IN , [03/07 09:05] Bob, 1\r\n");
  EXPECT_EQ(FormatHistoryLine(HistoryMark::kOutMissed, t, "B", "1").substr(0, 5), "OU*, ");
  EXPECT_EQ(FormatHistoryLine(HistoryMark::kInMissed, t, "B", "1").substr(0, 5), "IN*, ");
}

TEST(HistoryLine, NameAndNumberAreCutWithoutSplittingACharacter) {
  StudyTime t{2024, 12, 31, 23, 59, 0};
  std::string name = std::string(30, 'a') + "\xC3\xA9";  // 32 bytes, last char 2 bytes
  std::string line = FormatHistoryLine(HistoryMark::kIn, t, name, "1234567890123456789");
  EXPECT_EQ(line, "IN , [12/31 23:59] " + std::string(30, 'a') + ", 123456789012345\r\n");
}

TEST(StudyTime, Timestamp) {
  EXPECT_EQ(FormatStudyTimestamp({2024, 3, 7, 9, 5, 1}), "2024-03-07 09:05:01");
  EXPECT_EQ(FormatStudyTimestamp(LocalStudyTime()).size(), 19u);
}

}  // namespace
}  // namespace kestrelio
