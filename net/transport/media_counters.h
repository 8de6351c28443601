// Per-second receive counters: added to by the UDP thread, read and cleared once a second
// by the status tick (together with EncoderCounters for the sending side).
#pragma once

#include <atomic>
#include <cstdint>

namespace kestrelio {

struct MediaReceiveCounters {
  std::atomic<uint32_t> frames_received{0};
  std::atomic<uint32_t> payload_bytes_received{0};
  std::atomic<uint32_t> packets_missing{0};

  struct Snapshot {
    uint32_t frames_received = 0;
    uint32_t payload_bytes_received = 0;
    uint32_t packets_missing = 0;
  };
  // Reads and clears all three; what the status tick calls once a second.
  Snapshot TakeAndClear() {
    return Snapshot{frames_received.exchange(0, std::memory_order_relaxed),
                    payload_bytes_received.exchange(0, std::memory_order_relaxed),
                    packets_missing.exchange(0, std::memory_order_relaxed)};
  }
  void Clear() { TakeAndClear(); }
};

}  // namespace kestrelio
