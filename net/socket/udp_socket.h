// A bound IPv4 UDP socket: open and bind, send one datagram, receive one datagram with
// its true size, the bound address. Every failure is a result for the caller to report
// (the handset shows its boxes, the presence server logs, tests assert); nothing here
// shows or exits.
//
//   UdpSocket socket;
//   if (BindResult bound = socket.Open(NetAddress{0x7F000001, 0}); !bound.ok()) ...
//   socket.Send(message, peer);                  // SendResult
//   ReceiveResult got = socket.Receive(buffer, 50);
//   if (got.status == ReceiveStatus::kDatagram) Handle(buffer.first(got.size), got.from);
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "base/net_address.h"
#include "net/socket/datagram_sender.h"
#include "net/socket/unique_fd.h"

namespace kestrelio {

enum class BindStatus {
  kBound,
  kNoSocket,      // socket() failed
  kAddressInUse,  // another socket holds the address and port
  kFailed,        // bind failed for another reason; `error` says which
};

struct BindResult {
  BindStatus status = BindStatus::kFailed;
  int error = 0;  // errno when not kBound
  bool ok() const { return status == BindStatus::kBound; }
};

enum class ReceiveStatus {
  kDatagram,   // `size` bytes are in the buffer
  kOversized,  // the datagram had `size` bytes, more than the buffer: refuse it unread
  kNothing,    // nothing arrived within the wait
  kFailed,     // recvfrom or poll failed, or the socket is closed; `error` says why
};

struct ReceiveResult {
  ReceiveStatus status = ReceiveStatus::kNothing;
  size_t size = 0;  // the datagram's own size, also when it was larger than the buffer
  NetAddress from;
  int error = 0;
};

struct UdpSocketOptions {
  // SO_RCVBUF and SO_SNDBUF in bytes; 0 keeps the system's sizes.
  int buffer_bytes = 0;
};

class UdpSocket final : public DatagramSender {
 public:
  UdpSocket() = default;
  // Opens at once; see bind_result() and is_open().
  explicit UdpSocket(const NetAddress& local, const UdpSocketOptions& options = {});
  UdpSocket(UdpSocket&&) = default;
  UdpSocket& operator=(UdpSocket&&) = default;

  // Makes a socket and binds it to `local` (port 0: a free port). Closes any socket
  // opened before.
  BindResult Open(const NetAddress& local, const UdpSocketOptions& options = {});
  void Close();

  bool is_open() const { return fd_.valid(); }
  const BindResult& bind_result() const { return bind_result_; }
  int fd() const { return fd_.get(); }
  // The bound address and port (the free port when 0 was asked for); zeros when closed.
  NetAddress local_address() const;
  uint16_t bound_port() const { return local_address().port; }

  // One message in one datagram. kFailed with EBADF when the socket is not open.
  SendResult Send(std::span<const uint8_t> message, const NetAddress& to) override;

  // One datagram into `buffer`, waiting at most `wait_ms` (0: do not wait, -1: until
  // one arrives). A datagram larger than the buffer is taken off the socket and
  // reported as kOversized with its real size, never handed on cut.
  ReceiveResult Receive(std::span<uint8_t> buffer, int wait_ms = 0);

 private:
  UniqueFd fd_;
  BindResult bind_result_;
};

// Waits until `fd` is readable or `wake_fd` (an eventfd) becomes readable, at most
// `timeout_ms` (-1: without limit); retried on EINTR. A negative `fd` is not watched.
// kReadable, kWoken, kTimedOut, or kFailed with errno in `error`.
enum class WaitStatus { kReadable, kWoken, kTimedOut, kFailed };
WaitStatus WaitReadable(int fd, int wake_fd, int* error = nullptr, int timeout_ms = -1);

}  // namespace kestrelio
