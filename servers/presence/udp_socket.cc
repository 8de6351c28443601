#include "servers/presence/udp_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/diag.h"

namespace kestrelio {

namespace {

sockaddr_in ToSockaddr(const NetAddress& address) {
  sockaddr_in out{};
  out.sin_family = AF_INET;
  out.sin_addr.s_addr = htonl(address.ipv4);
  out.sin_port = htons(address.port);
  return out;
}

NetAddress FromSockaddr(const sockaddr_in& in) {
  return NetAddress{ntohl(in.sin_addr.s_addr), ntohs(in.sin_port)};
}

}  // namespace

UdpSocket::UdpSocket(const NetAddress& local) {
  fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  if (fd_ < 0) {
    Diag("udp: socket: %s", std::strerror(errno));
    return;
  }
  // Room for bursts of list pages to many handsets at once.
  int buffer_bytes = 4 << 20;
  setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &buffer_bytes, sizeof buffer_bytes);
  setsockopt(fd_, SOL_SOCKET, SO_SNDBUF, &buffer_bytes, sizeof buffer_bytes);
  sockaddr_in address = ToSockaddr(local);
  if (bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    Diag("udp: bind %s:%u: %s", DottedAddress(local.ipv4).c_str(), local.port,
         std::strerror(errno));
    close(fd_);
    fd_ = -1;
  }
}

UdpSocket::~UdpSocket() {
  if (fd_ >= 0) close(fd_);
}

NetAddress UdpSocket::local_address() const {
  sockaddr_in address{};
  socklen_t size = sizeof address;
  if (fd_ < 0 || getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) != 0) return {};
  return FromSockaddr(address);
}

void UdpSocket::Send(std::span<const uint8_t> message, const NetAddress& to) {
  sockaddr_in address = ToSockaddr(to);
  ssize_t sent = sendto(fd_, message.data(), message.size(), 0,
                        reinterpret_cast<const sockaddr*>(&address), sizeof address);
  if (sent != static_cast<ssize_t>(message.size())) ++send_failures_;
}

std::optional<size_t> UdpSocket::Receive(std::span<uint8_t> buffer, NetAddress* from,
                                         int timeout_ms) {
  if (timeout_ms != 0) {
    pollfd waiter{fd_, POLLIN, 0};
    if (poll(&waiter, 1, timeout_ms) <= 0) return std::nullopt;
  }
  sockaddr_in source{};
  socklen_t size = sizeof source;
  ssize_t got = recvfrom(fd_, buffer.data(), buffer.size(), MSG_DONTWAIT,
                         reinterpret_cast<sockaddr*>(&source), &size);
  if (got < 0) return std::nullopt;
  if (from != nullptr) *from = FromSockaddr(source);
  return static_cast<size_t>(got);
}

}  // namespace kestrelio
