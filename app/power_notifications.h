// The power notification thread: drains the power message queue so it never fills.
// The desktop posts a message when the machine's power status (AC line, battery
// percent) changes; nothing acts on them, battery changes are sampled where they are
// logged.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "base/event.h"

namespace kestrelio {

class PowerNotificationThread {
 public:
  // Polls the power supply every `poll_ms` and drains a change at once.
  PowerNotificationThread(Event& shutdown, int poll_ms = 5000);
  ~PowerNotificationThread();
  PowerNotificationThread(const PowerNotificationThread&) = delete;
  PowerNotificationThread& operator=(const PowerNotificationThread&) = delete;

  void Stop();
  uint64_t messages_drained() const { return drained_.load(std::memory_order_relaxed); }

 private:
  void Run();

  Event& shutdown_;
  const int poll_ms_;
  std::atomic<uint64_t> drained_{0};
  std::thread thread_;
};

}  // namespace kestrelio
