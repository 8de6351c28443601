// The peer's address during a call.
#pragma once

#include <atomic>
#include <cstdint>

#include "base/net_address.h"

namespace kestrelio {

// Where messages to the peer go during a call: its public address and port as the
// presence server reported them. Written by call set-up, read by every sender.
struct PeerLink {
  std::atomic<uint32_t> ipv4{0};
  std::atomic<uint16_t> port{0};

  void Set(const NetAddress& address) {
    ipv4.store(address.ipv4, std::memory_order_relaxed);
    port.store(address.port, std::memory_order_release);
  }
  NetAddress Get() const {
    uint16_t p = port.load(std::memory_order_acquire);
    return NetAddress{ipv4.load(std::memory_order_relaxed), p};
  }
};

}  // namespace kestrelio
