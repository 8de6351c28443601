#include "base/timer_scale.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace kestrelio {
namespace {

TEST(TimerScaleTest, ScalesLongPeriodsAndRejectsNonsense) {
  setenv("KESTRELIO_TIMER_SCALE", "0.1", 1);
  EXPECT_EQ(ScaledPeriodMs(30000), 3000);
  setenv("KESTRELIO_TIMER_SCALE", "0.00001", 1);
  EXPECT_EQ(ScaledPeriodMs(30000), 1);
  for (const char* bad : {"", "abc", "-2", "0", "1x", "nan"}) {
    setenv("KESTRELIO_TIMER_SCALE", bad, 1);
    EXPECT_EQ(ScaledPeriodMs(30000), 30000) << bad;
  }
  unsetenv("KESTRELIO_TIMER_SCALE");
  EXPECT_EQ(ScaledPeriodMs(5000), 5000);
}

}  // namespace
}  // namespace kestrelio
