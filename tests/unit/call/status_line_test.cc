#include "call/status_line.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrelio {
namespace {

TEST(StatusLineTest, IdleShowsDisconnectedFrozenTimeAndBattery) {
  EXPECT_EQ(StatusLineText("", 0, false, {}, 87), "Disconnected, 0:00, 87%");
  // After a call of 65 s the time stays frozen at 1:05 until the next call.
  EXPECT_EQ(StatusLineText("", 65, false, {}, 100), "Disconnected, 1:05, 100%");
}

TEST(StatusLineTest, InCallShowsPeerTimeAndCounters) {
  SecondCounters counters{12, 3750, 1};
  EXPECT_EQ(StatusLineText("12065550101", 7, true, counters, 64),
            "to 12065550101, 0:07, 12 fps, 3750 bytes, 1, 64%");
  EXPECT_EQ(StatusLineText("x", 600, true, {}, 5), "to x, 10:00, 0 fps, 0 bytes, 0, 5%");
}

TEST(StatusLineTest, LongPeerNamesAreCutToTheControlLimit) {
  std::string name(300, 'n');
  EXPECT_EQ(StatusLineText(name, 1, true, {}, 50).size(), 99u);
}

}  // namespace
}  // namespace kestrelio
