#include "call/pumping_lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace kestrelio {
namespace {

// A worker holds the mutex until the waiting thread has pumped; only a waiter that
// pumps while it waits can make progress, so a plain lock() here would never return.
TEST(PumpingLock, WaiterKeepsPumpingUntilTheHolderLetsGo) {
  std::mutex mutex;
  std::atomic<int> pumps{0};
  std::atomic<bool> held{false};
  std::thread holder([&] {
    std::lock_guard lock(mutex);
    held = true;
    while (pumps.load() < 3) std::this_thread::yield();
  });
  while (!held) std::this_thread::yield();
  std::unique_lock lock = LockWhilePumping(
      mutex, [&] { ++pumps; }, 1);
  EXPECT_TRUE(lock.owns_lock());
  EXPECT_GE(pumps.load(), 3);
  holder.join();
}

TEST(PumpingLock, AFreeMutexIsTakenWithoutPumping) {
  std::mutex mutex;
  int pumps = 0;
  std::unique_lock lock = LockWhilePumping(mutex, [&] { ++pumps; });
  EXPECT_TRUE(lock.owns_lock());
  EXPECT_EQ(pumps, 0);
}

}  // namespace
}  // namespace kestrelio
