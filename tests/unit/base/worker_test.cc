#include "base/worker.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <string>

#include "base/event.h"

namespace kestrelio {
namespace {

TEST(WorkerTest, StopWakesALongSleepAndJoins) {
  Worker worker;
  Event sleeping;
  std::atomic<bool> slept_through{true};
  ASSERT_TRUE(worker.Start("sleeper", [&](std::stop_token) {
    sleeping.Set();
    slept_through = worker.SleepFor(60 * 60 * 1000);
  }));
  ASSERT_TRUE(sleeping.Wait(5000));
  worker.Stop();  // would hang for an hour if the sleep ignored the stop
  EXPECT_FALSE(worker.Running());
  EXPECT_FALSE(slept_through.load());
}

TEST(WorkerTest, WakeEndsOneSleepWithoutStopping) {
  Worker worker;
  Event sleeping;
  Event woke;
  std::atomic<bool> result{false};
  ASSERT_TRUE(worker.Start("waker", [&](std::stop_token stop) {
    sleeping.Set();
    result = worker.SleepFor(60 * 60 * 1000);
    woke.Set();
    while (worker.SleepFor(60 * 60 * 1000)) {
    }
    EXPECT_TRUE(stop.stop_requested());
  }));
  ASSERT_TRUE(sleeping.Wait(5000));
  worker.Wake();
  ASSERT_TRUE(woke.Wait(5000));
  EXPECT_TRUE(result.load());
  EXPECT_FALSE(worker.StopRequested());
  worker.Stop();
}

TEST(WorkerTest, NamesItsThreadAndRefusesASecondStart) {
  Worker worker;
  Event named;
  std::string seen;
  ASSERT_TRUE(worker.Start("a-rather-long-worker-name", [&](std::stop_token stop) {
    char name[16] = {};
    pthread_getname_np(pthread_self(), name, sizeof name);
    seen = name;
    named.Set();
    while (!stop.stop_requested()) worker.SleepFor(1000);
  }));
  ASSERT_TRUE(named.Wait(5000));
  EXPECT_EQ(seen, "a-rather-long-w");
  EXPECT_FALSE(worker.Start("again", [](std::stop_token) {}));
  worker.Stop();
  worker.Stop();  // a second stop is harmless
  // Once stopped it can run again, with a fresh stop source.
  Event ran;
  ASSERT_TRUE(worker.Start("again", [&](std::stop_token stop) {
    EXPECT_FALSE(stop.stop_requested());
    ran.Set();
  }));
  EXPECT_TRUE(ran.Wait(5000));
  worker.Stop();
}

TEST(WorkerTest, StopWithoutStartIsHarmless) {
  Worker worker;
  worker.Stop();
  EXPECT_FALSE(worker.Running());
}

}  // namespace
}  // namespace kestrelio
