#include "base/thread_priority.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>

namespace kestrelio {
namespace {

// Each thread has its own nice value: a worker's change leaves the thread that made it
// as it was.
TEST(ThreadPriority, LoweringTakesEffectOnTheCallingThreadOnly) {
  const int before = CurrentThreadNice();
  int inside = 0;
  bool lowered = false;
  std::thread worker([&] {
    lowered = SetCurrentThreadPriority(ThreadPriority::kBelowNormal);
    inside = CurrentThreadNice();
  });
  worker.join();
  ASSERT_LE(before, NiceValue(ThreadPriority::kBelowNormal)) << "tests run niced already";
  EXPECT_TRUE(lowered);
  EXPECT_EQ(inside, NiceValue(ThreadPriority::kBelowNormal));
  EXPECT_EQ(CurrentThreadNice(), before);
}

// Raising needs the right to: root gets it, a normal user is refused and keeps normal.
TEST(ThreadPriority, RaisingEitherTakesEffectOrIsRefusedAndLeavesTheThreadAtNormal) {
  const int before = CurrentThreadNice();
  int inside = 99;
  bool raised = false;
  std::thread worker([&] {
    raised = SetCurrentThreadPriority(ThreadPriority::kAboveNormal);
    inside = CurrentThreadNice();
  });
  worker.join();
  if (raised) {
    EXPECT_EQ(inside, NiceValue(ThreadPriority::kAboveNormal));
  } else {
    EXPECT_NE(geteuid(), 0u);
    EXPECT_EQ(inside, before);
  }
  EXPECT_LT(NiceValue(ThreadPriority::kAboveNormal), NiceValue(ThreadPriority::kNormal));
  EXPECT_LT(NiceValue(ThreadPriority::kNormal), NiceValue(ThreadPriority::kBelowNormal));
}

}  // namespace
}  // namespace kestrelio
