#include "app/power_notifications.h"

#include <gtest/gtest.h>

#include <thread>

namespace kestrelio {
namespace {

// Waits (without a time limit of its own; ctest's limit catches a hang) until `done`.
template <typename Condition>
void WaitUntil(Condition done) {
  while (!done()) std::this_thread::yield();
}

TEST(PowerNotificationThreadTest, ANeverStartedThreadStopsTwice) {
  PowerNotificationThread thread(1);
  EXPECT_FALSE(thread.running());
  thread.Stop();
  thread.Stop();
  EXPECT_EQ(thread.polls(), 0u);
}

TEST(PowerNotificationThreadTest, StopEndsALongPollAtOnce) {
  PowerNotificationThread thread(60 * 60 * 1000);
  ASSERT_TRUE(thread.Start());
  EXPECT_TRUE(thread.running());
  thread.Stop();  // would wait an hour if the poll ignored the stop
  EXPECT_FALSE(thread.running());
  EXPECT_EQ(thread.polls(), 0u);
}

TEST(PowerNotificationThreadTest, PollsAgainAfterARestartAndRefusesASecondStart) {
  PowerNotificationThread thread(1);
  ASSERT_TRUE(thread.Start());
  EXPECT_FALSE(thread.Start());
  WaitUntil([&] { return thread.polls() >= 2; });
  thread.Stop();
  const uint64_t polls = thread.polls();
  ASSERT_TRUE(thread.Start());
  WaitUntil([&] { return thread.polls() >= polls + 2; });
  thread.Stop();
  EXPECT_FALSE(thread.running());
}

}  // namespace
}  // namespace kestrelio
