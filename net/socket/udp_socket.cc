#include "net/socket/udp_socket.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

#include "net/socket/socket_address.h"

namespace kestrelio {

UdpSocket::UdpSocket(const NetAddress& local, const UdpSocketOptions& options) {
  Open(local, options);
}

BindResult UdpSocket::Open(const NetAddress& local, const UdpSocketOptions& options) {
  Close();
  UniqueFd fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP));
  if (!fd.valid()) {
    bind_result_ = BindResult{BindStatus::kNoSocket, errno};
    return bind_result_;
  }
  if (options.buffer_bytes > 0) {
    setsockopt(fd.get(), SOL_SOCKET, SO_RCVBUF, &options.buffer_bytes, sizeof options.buffer_bytes);
    setsockopt(fd.get(), SOL_SOCKET, SO_SNDBUF, &options.buffer_bytes, sizeof options.buffer_bytes);
  }
  const sockaddr_in address = ToSocketAddress(local);
  if (bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int error = errno;
    bind_result_ =
        BindResult{error == EADDRINUSE ? BindStatus::kAddressInUse : BindStatus::kFailed, error};
    return bind_result_;
  }
  fd_ = std::move(fd);
  bind_result_ = BindResult{BindStatus::kBound, 0};
  return bind_result_;
}

void UdpSocket::Close() { fd_.Reset(); }

NetAddress UdpSocket::local_address() const {
  sockaddr_in address{};
  socklen_t size = sizeof address;
  if (!fd_.valid() || getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    return {};
  }
  return FromSocketAddress(address);
}

SendResult UdpSocket::Send(std::span<const uint8_t> message, const NetAddress& to) {
  if (!fd_.valid()) return SendResult::Failed(EBADF);
  const sockaddr_in address = ToSocketAddress(to);
  const ssize_t sent = sendto(fd_.get(), message.data(), message.size(), MSG_NOSIGNAL,
                              reinterpret_cast<const sockaddr*>(&address), sizeof address);
  if (sent < 0) return SendResult::Failed(errno);
  const auto bytes = static_cast<size_t>(sent);
  return bytes == message.size() ? SendResult::Sent(bytes) : SendResult::Short(bytes);
}

ReceiveResult UdpSocket::Receive(std::span<uint8_t> buffer, int wait_ms) {
  ReceiveResult result;
  if (!fd_.valid()) {
    result.status = ReceiveStatus::kFailed;
    result.error = EBADF;
    return result;
  }
  if (wait_ms != 0) {
    pollfd waiter{fd_.get(), POLLIN, 0};
    int ready = 0;
    do {
      ready = poll(&waiter, 1, wait_ms);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) {
      result.status = ReceiveStatus::kFailed;
      result.error = errno;
      return result;
    }
    if (ready == 0) return result;  // kNothing
  }
  sockaddr_in source{};
  socklen_t source_size = sizeof source;
  // MSG_TRUNC: recvfrom returns the datagram's real size even when the buffer is smaller.
  const ssize_t got = recvfrom(fd_.get(), buffer.data(), buffer.size(), MSG_TRUNC | MSG_DONTWAIT,
                               reinterpret_cast<sockaddr*>(&source), &source_size);
  if (got < 0) {
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return result;  // kNothing
    result.status = ReceiveStatus::kFailed;
    result.error = errno;
    return result;
  }
  result.size = static_cast<size_t>(got);
  result.from = FromSocketAddress(source);
  result.status =
      result.size > buffer.size() ? ReceiveStatus::kOversized : ReceiveStatus::kDatagram;
  return result;
}

WaitStatus WaitReadable(int fd, int wake_fd, int* error, int timeout_ms) {
  pollfd fds[2] = {{fd, POLLIN, 0}, {wake_fd, POLLIN, 0}};
  while (true) {
    const int ready = poll(fds, 2, timeout_ms);
    if (ready == 0) return WaitStatus::kTimedOut;
    if (ready < 0) {
      if (errno == EINTR) continue;
      if (error != nullptr) *error = errno;
      return WaitStatus::kFailed;
    }
    if (fds[1].revents != 0) return WaitStatus::kWoken;
    if (fds[0].revents != 0) return WaitStatus::kReadable;
  }
}

}  // namespace kestrelio
