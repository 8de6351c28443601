// A bound IPv4 UDP socket that closes itself. Used by the presence server and by the
// programs that talk to it in tests and benchmarks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "net/wire/net_address.h"
#include "servers/presence/presence_server.h"

namespace kestrelio {

class UdpSocket final : public DatagramSender {
 public:
  // Binds to `local` (port 0: any free port). Check ok() afterwards; a failure is
  // written to the diagnostic output.
  explicit UdpSocket(const NetAddress& local);
  ~UdpSocket() override;
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  bool ok() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  NetAddress local_address() const;

  // DatagramSender: a failed or short send is counted, not reported per datagram.
  void Send(std::span<const uint8_t> message, const NetAddress& to) override;
  uint64_t send_failures() const { return send_failures_; }

  // One datagram into `buffer`; waits at most `timeout_ms` (0: do not wait, -1: forever).
  // std::nullopt on time-out; the datagram's size otherwise (it may be cut to the buffer).
  std::optional<size_t> Receive(std::span<uint8_t> buffer, NetAddress* from, int timeout_ms);

 private:
  int fd_ = -1;
  uint64_t send_failures_ = 0;
};

}  // namespace kestrelio
