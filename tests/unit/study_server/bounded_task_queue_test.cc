// The HTTP connection workers: every queued job runs once, also those still queued when
// the server shuts down (each of them closes a connection), and a full queue makes the
// producer wait instead of growing.
#include "servers/study/bounded_task_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <thread>

namespace kestrelio {
namespace {

TEST(BoundedTaskQueue, RunsEveryJobOnce) {
  std::atomic<int> runs{0};
  {
    BoundedTaskQueue queue(3, 4);
    for (int i = 0; i < 100; ++i) queue.enqueue([&] { runs.fetch_add(1); });
    queue.shutdown();
  }
  EXPECT_EQ(runs.load(), 100);
}

TEST(BoundedTaskQueue, ShutdownRunsWhatIsStillQueued) {
  std::atomic<int> runs{0};
  std::latch release(1);
  BoundedTaskQueue queue(1, 8);
  queue.enqueue([&] { release.wait(); });  // holds the only thread
  for (int i = 0; i < 5; ++i) queue.enqueue([&] { runs.fetch_add(1); });
  std::thread stopper([&] { queue.shutdown(); });
  release.count_down();
  stopper.join();
  EXPECT_EQ(runs.load(), 5);
}

TEST(BoundedTaskQueue, AFullQueueHoldsTheProducer) {
  std::latch release(1);
  std::atomic<int> queued{0};
  BoundedTaskQueue queue(1, 2);
  queue.enqueue([&] { release.wait(); });
  std::thread producer([&] {
    for (int i = 0; i < 4; ++i) {
      queue.enqueue([] {});
      queued.fetch_add(1);
    }
  });
  // The producer cannot get past the queue's two places while the worker is held; the
  // count can only be read as 2 or less until it is released.
  while (queued.load() < 2) std::this_thread::yield();
  EXPECT_LE(queued.load(), 2);
  release.count_down();
  producer.join();
  EXPECT_EQ(queued.load(), 4);
  queue.shutdown();
}

}  // namespace
}  // namespace kestrelio
