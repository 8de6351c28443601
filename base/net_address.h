// An IPv4 address and port as plain numbers (host byte order).
#pragma once

#include <cstdint>

namespace kestrelio {

struct NetAddress {
  uint32_t ipv4 = 0;  // host byte order: 127.0.0.1 is 0x7F000001
  uint16_t port = 0;

  bool operator==(const NetAddress&) const = default;
};

}  // namespace kestrelio
