// When the peer's video was last heard, for the network-loss timer. The UDP thread stamps
// every VideoData here; the timer is armed once at call start and, when it fires early,
// re-arms itself for what is left of the period. Restarting a GUI timer for every picture
// would cost a queued call (and its allocations) per picture.
#pragma once

#include <atomic>
#include <cstdint>

namespace kestrelio {

struct NetworkLossWatch {
  std::atomic<uint32_t> last_heard_ms{0};

  void Stamp(uint32_t now_ms) { last_heard_ms.store(now_ms, std::memory_order_relaxed); }

  // Milliseconds until `period_ms` has passed since the last stamp; 0 once it has. The
  // tick counter wraps, so the difference is taken modulo 2^32.
  uint32_t RemainingMs(uint32_t now_ms, uint32_t period_ms) const {
    const uint32_t since = now_ms - last_heard_ms.load(std::memory_order_relaxed);
    return since >= period_ms ? 0 : period_ms - since;
  }
};

}  // namespace kestrelio
