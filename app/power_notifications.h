// The power notification thread: drains the power message queue so it never fills.
// The desktop posts a message when the machine's power status (AC line, battery
// percent) changes; nothing acts on them, battery changes are sampled where they are
// logged.
#pragma once

#include <atomic>
#include <cstdint>

#include "base/worker.h"

namespace kestrelio {

class PowerNotificationThread {
 public:
  // Polls the power supply every `poll_ms` and drains a change at once.
  explicit PowerNotificationThread(int poll_ms = 5000) : poll_ms_(poll_ms) {}
  ~PowerNotificationThread() { Stop(); }
  PowerNotificationThread(const PowerNotificationThread&) = delete;
  PowerNotificationThread& operator=(const PowerNotificationThread&) = delete;

  // False when the thread cannot be created or is already running; a stopped thread
  // may be started again.
  bool Start();
  // Stops and joins; harmless when never started or already stopped.
  void Stop() { worker_.Stop(); }
  bool running() const { return worker_.Running(); }

  uint64_t messages_drained() const { return drained_.load(std::memory_order_relaxed); }
  // Passes of the polling loop. For tests.
  uint64_t polls() const { return polls_.load(std::memory_order_acquire); }

 private:
  void Run();

  const int poll_ms_;
  std::atomic<uint64_t> drained_{0};
  std::atomic<uint64_t> polls_{0};
  Worker worker_;
};

}  // namespace kestrelio
