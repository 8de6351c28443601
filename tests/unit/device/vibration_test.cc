#include "device/vibration.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "tests/support/fake_window.h"

namespace kestrelio {
namespace {

constexpr VibrationTiming kFast{1, 3, 1, 2, 1};

// Waits (without a time limit of its own; ctest's limit catches a hang) until `done`.
template <typename Condition>
void WaitUntil(Condition done) {
  while (!done()) std::this_thread::yield();
}

TEST(VibrationTest, BuzzPulsesOnceAndClearsTheRequest) {
  FakeWindow window;
  VibrationThread vibration(window, kFast);
  ASSERT_TRUE(vibration.Start());
  vibration.Vibrate(RingRequest::kBuzz);
  WaitUntil([&] { return vibration.request() == RingRequest::kIdle; });
  uint64_t passes = vibration.passes();
  WaitUntil([&] { return vibration.passes() >= passes + 3; });
  EXPECT_EQ(window.Alerts(), std::vector<int>{kFast.buzz_on_ms});
}

TEST(VibrationTest, RingRepeatsUntilTheRequestIsCleared) {
  FakeWindow window;
  VibrationThread vibration(window, kFast);
  ASSERT_TRUE(vibration.Start());
  vibration.Vibrate(RingRequest::kRing);
  WaitUntil([&] { return vibration.pulses() >= 3; });
  EXPECT_EQ(vibration.request(), RingRequest::kRing);
  vibration.Vibrate(RingRequest::kIdle);
  // One ring cycle may be under way when the request is cleared.
  uint64_t pulses_at_clear = vibration.pulses();
  uint64_t passes = vibration.passes();
  WaitUntil([&] { return vibration.passes() >= passes + 4; });
  EXPECT_LE(vibration.pulses(), pulses_at_clear + 1);
  for (int duration : window.Alerts()) EXPECT_EQ(duration, kFast.ring_on_ms);
}

TEST(VibrationTest, StopJoinsEvenInTheMiddleOfALongRing) {
  FakeWindow window;
  VibrationThread vibration(window, VibrationTiming{1, 1000000, 1000000, 1000000, 1});
  ASSERT_TRUE(vibration.Start());
  vibration.Vibrate(RingRequest::kRing);
  WaitUntil([&] { return vibration.pulses() >= 1; });
  vibration.Stop();  // returns although the "on" phase lasts 1000 s
  vibration.Stop();
  EXPECT_EQ(vibration.pulses(), 1u);
}

// Idle, the thread sleeps until asked; a request does not wait for the sleep to end.
TEST(VibrationTest, ARequestWakesAnIdleThreadAtOnce) {
  FakeWindow window;
  VibrationThread vibration(window, VibrationTiming{1, 3, 1, 2, 1000000});
  ASSERT_TRUE(vibration.Start());
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // asleep with nothing to do
  vibration.Vibrate(RingRequest::kBuzz);
  WaitUntil([&] { return vibration.pulses() >= 1; });  // would hang for 1000 s otherwise
  EXPECT_EQ(window.Alerts(), std::vector<int>{2});
}

TEST(VibrationTest, ANeverStartedThreadStopsAndNeverSwitchesOn) {
  FakeWindow window;
  {
    VibrationThread vibration(window, kFast);
    vibration.Vibrate(RingRequest::kRing);
    EXPECT_FALSE(vibration.running());
    vibration.Stop();
    vibration.Stop();
  }  // the destructor stops once more
  EXPECT_TRUE(window.Alerts().empty());
}

TEST(VibrationTest, RunsAgainAfterStopAndRefusesASecondStart) {
  FakeWindow window;
  VibrationThread vibration(window, kFast);
  ASSERT_TRUE(vibration.Start());
  EXPECT_FALSE(vibration.Start());  // one thread at a time
  vibration.Vibrate(RingRequest::kBuzz);
  WaitUntil([&] { return vibration.request() == RingRequest::kIdle; });
  vibration.Stop();
  EXPECT_FALSE(vibration.running());

  // A request made while stopped waits for the next start.
  vibration.Vibrate(RingRequest::kBuzz);
  const uint64_t passes = vibration.passes();
  ASSERT_TRUE(vibration.Start());
  WaitUntil([&] { return vibration.request() == RingRequest::kIdle; });
  WaitUntil([&] { return vibration.passes() > passes; });
  vibration.Stop();
  EXPECT_EQ(window.Alerts(), (std::vector<int>{kFast.buzz_on_ms, kFast.buzz_on_ms}));
}

}  // namespace
}  // namespace kestrelio
