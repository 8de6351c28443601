// Figures of the running call's media for people to read (the call statistics overlay
// and the remote control's state): written by the threads that already do each piece of
// work, read by anyone. Every field is a relaxed atomic and nothing here locks or
// allocates, so the per-picture paths stay as they were. Reset at call start.
//
//   encoder data thread: frames_sent, sent
//   UDP thread:          frames_received, received, packets_lost, last_rtt_ms
//   UDP thread (decode): frames_decoded, frames_dropped (picture ring full)
//   display thread:      frames_dropped (oldest picture of a full ring unseen)
//   GUI thread:          frames_painted, frames_dropped (replaced before painted),
//                        receive_to_paint_ms
#pragma once

#include <atomic>
#include <cstdint>

#include "base/rate_window.h"

namespace kestrelio {

struct MediaStatistics {
  static constexpr int32_t kNone = -1;

  std::atomic<uint32_t> frames_sent{0};
  std::atomic<uint32_t> frames_received{0};
  std::atomic<uint32_t> frames_decoded{0};
  std::atomic<uint32_t> frames_painted{0};
  // Decoded pictures of the peer that never reached the screen.
  std::atomic<uint32_t> frames_dropped{0};
  // Sequence gaps the receiver reported with PacketLoss.
  std::atomic<uint32_t> packets_lost{0};
  // From the last answered round-trip probe; kNone before the first answer.
  std::atomic<int32_t> last_rtt_ms{kNone};
  // From the arrival of the VideoData datagram carrying the last painted picture to its
  // paint; kNone before the first. (The picture carries no capture time, so the sender's
  // side of the delay is not in it.)
  std::atomic<int32_t> receive_to_paint_ms{kNone};
  RateWindow sent;      // VideoData payload bytes sent
  RateWindow received;  // VideoData payload bytes received

  void Reset(uint32_t now_ms) {
    for (auto* count : {&frames_sent, &frames_received, &frames_decoded, &frames_painted,
                        &frames_dropped, &packets_lost}) {
      count->store(0, std::memory_order_relaxed);
    }
    last_rtt_ms.store(kNone, std::memory_order_relaxed);
    receive_to_paint_ms.store(kNone, std::memory_order_relaxed);
    sent.Reset(now_ms);
    received.Reset(now_ms);
  }
  static void Count(std::atomic<uint32_t>& count) { count.fetch_add(1, std::memory_order_relaxed); }
};

}  // namespace kestrelio
