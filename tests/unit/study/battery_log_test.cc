#include "study/battery_log.h"

#include <gtest/gtest.h>

#include <vector>

namespace kestrelio {
namespace {

constexpr StudyTime kTime{2024, 3, 7, 9, 5, 1};

// Feeds a sequence of AC line readings and returns what each wrote ("" for nothing).
std::vector<std::string> Lines(std::initializer_list<int> readings, int level = 80) {
  BatteryLogState state;
  std::vector<std::string> lines;
  for (int reading : readings) {
    auto line = state.Step(reading);
    lines.push_back(line ? FormatBatteryLine("ID", *line, kTime, level) : "");
  }
  return lines;
}

const std::string kFirstPlugged = "ID, 1, plugged, 2024-03-07 09:05:01, 80\r\n";
const std::string kFirstUnplugged = "ID, 1, unplugged, 2024-03-07 09:05:01, 80\r\n";
const std::string kPlugged = "ID, 0, plugged, 2024-03-07 09:05:01, 80\r\n";
const std::string kUnplugged = "ID, 0, unplugged, 2024-03-07 09:05:01, 80\r\n";

TEST(BatteryLog, FirstReadingThenOnlyChanges) {
  EXPECT_EQ(Lines({1, 1, 0, 0, 1}),
            (std::vector<std::string>{kFirstPlugged, "", kUnplugged, "", kPlugged}));
  EXPECT_EQ(Lines({0, 1}), (std::vector<std::string>{kFirstUnplugged, kPlugged}));
}

TEST(BatteryLog, UnknownMakesTheNextReadingAFirstOneAgain) {
  EXPECT_EQ(Lines({1, 255, 1, 255, 0}),
            (std::vector<std::string>{kFirstPlugged, "", kFirstPlugged, "", kFirstUnplugged}));
}

TEST(BatteryLog, OtherValueSilencesItselfAndTheReadingAfterIt) {
  // 2 writes nothing; the 0 after it is compared with 2 and writes nothing either; the
  // 1 after that is a change from 0.
  EXPECT_EQ(Lines({1, 2, 0, 1}), (std::vector<std::string>{kFirstPlugged, "", "", kPlugged}));
  EXPECT_EQ(Lines({2, 1, 0}), (std::vector<std::string>{"", "", kUnplugged}));
}

TEST(BatteryLog, LevelIsWrittenAsReadIncludingUnknown) {
  EXPECT_EQ(Lines({1}, 255)[0], "ID, 1, plugged, 2024-03-07 09:05:01, 255\r\n");
  EXPECT_EQ(Lines({0}, 0)[0], "ID, 1, unplugged, 2024-03-07 09:05:01, 0\r\n");
}

TEST(BatteryLog, PreviousStateFollowsEveryReading) {
  BatteryLogState state;
  EXPECT_EQ(state.previous(), 255);
  state.Step(2);
  EXPECT_EQ(state.previous(), 2);
  state.Step(255);
  EXPECT_EQ(state.previous(), 255);
}

}  // namespace
}  // namespace kestrelio
