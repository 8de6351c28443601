// Test-side sockets on loopback addresses: a socket with a receive time-out (a UDP one
// bound to an ephemeral port of `address`), the port it got, and a loopback destination.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>

#include "net/socket/unique_fd.h"

namespace kestrelio::testing {

inline constexpr uint32_t kTestLoopback = 0x7F000001;  // 127.0.0.1

inline UniqueFd TestSocket(int type, int timeout_ms, uint32_t address = kTestLoopback) {
  UniqueFd fd(socket(AF_INET, type, 0));
  timeval timeout{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
  setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  if (type == SOCK_DGRAM) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(address);
    bind(fd.get(), reinterpret_cast<sockaddr*>(&local), sizeof local);
  }
  return fd;
}

inline uint16_t LocalPort(int fd) {
  sockaddr_in bound{};
  socklen_t length = sizeof bound;
  getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
  return ntohs(bound.sin_port);
}

inline sockaddr_in Loopback(uint16_t port, uint32_t address = kTestLoopback) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(address);
  to.sin_port = htons(port);
  return to;
}

}  // namespace kestrelio::testing
