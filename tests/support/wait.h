// Waiting for a condition another thread brings about: polled every `poll_ms`, with a
// deadline that is a hang guard only (no test asserts on how long anything takes).
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace kestrelio::testing {

inline bool WaitFor(const std::function<bool()>& condition, int timeout_ms = 5000,
                    int poll_ms = 1) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(poll_ms));
  }
  return true;
}

}  // namespace kestrelio::testing
