#include "device/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace kestrelio {
namespace {

// A worker holds the mutex until the waiting thread has pumped; only a waiter that
// pumps while it waits can make progress, so a plain lock() here would never return.
TEST(SyncTest, WaiterKeepsPumpingUntilTheHolderLetsGo) {
  std::timed_mutex mutex;
  std::atomic<int> pumps{0};
  std::atomic<bool> held{false};
  std::thread holder([&] {
    std::lock_guard lock(mutex);
    held = true;
    while (pumps.load() < 3) std::this_thread::yield();
  });
  while (!held) std::this_thread::yield();
  LockWhilePumping(
      mutex, [&] { ++pumps; }, 1);
  HeldLock lock = AdoptLock(mutex);
  EXPECT_GE(pumps.load(), 3);
  holder.join();
}

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
