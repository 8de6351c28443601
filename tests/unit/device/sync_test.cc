#include "device/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace kestrelio {
namespace {

TEST(SyncTest, PollingTakesAFreeMutexAtOnceAndABusyOneWhenReleased) {
  std::timed_mutex mutex;
  int misses = 0;
  LockByPolling(mutex, [&] { ++misses; });
  EXPECT_EQ(misses, 0);
  std::atomic<bool> released{false};
  std::thread other([&] {
    // Blocks until the test thread lets go, then hands back at once.
    std::lock_guard lock(mutex);
    released = true;
  });
  mutex.unlock();
  other.join();
  ASSERT_TRUE(released);

  std::atomic<int> polls{0};
  mutex.lock();
  std::thread waiter([&] {
    LockByPolling(mutex, [&] { ++polls; });
    mutex.unlock();
  });
  while (polls.load() < 2) std::this_thread::yield();
  mutex.unlock();
  waiter.join();
  EXPECT_GE(polls.load(), 2);
}

}  // namespace
}  // namespace kestrelio
