// The peer's address during a call.
#pragma once

#include <atomic>
#include <cstdint>

#include "base/net_address.h"

namespace kestrelio {

// Where messages to the peer go during a call: its public address and port as the
// presence server reported them, with the peer's local IPv4 address beside it. Written by
// call set-up, read by every sender and by every receiver that checks who sent a
// message.
struct PeerLink {
  std::atomic<uint32_t> ipv4{0};
  std::atomic<uint16_t> port{0};
  std::atomic<uint32_t> local_ipv4{0};  // 0: none known

  void Set(const NetAddress& address, uint32_t local = 0) {
    ipv4.store(address.ipv4, std::memory_order_relaxed);
    local_ipv4.store(local, std::memory_order_relaxed);
    port.store(address.port, std::memory_order_release);
  }
  NetAddress Get() const {
    uint16_t p = port.load(std::memory_order_acquire);
    return NetAddress{ipv4.load(std::memory_order_relaxed), p};
  }
  // A peer has been named (by the server, or by whoever set up the link).
  bool Named() const {
    return port.load(std::memory_order_acquire) != 0 || ipv4.load(std::memory_order_relaxed) != 0;
  }
  // Whether a message from `sender` comes from the named peer: its public or its local
  // IPv4 address. The port is not compared: an address translator may change it.
  bool IsPeer(uint32_t sender) const {
    if (!Named()) return false;
    const uint32_t local = local_ipv4.load(std::memory_order_relaxed);
    return sender == ipv4.load(std::memory_order_relaxed) || (local != 0 && sender == local);
  }
};

}  // namespace kestrelio
