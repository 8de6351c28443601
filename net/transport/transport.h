// The handset's sockets and network threads.
//
//   UDP socket (port 8200) --Receive--> UDP thread --DispatchMessage--> MediaMessageHandler
//                                                                    \-> ControlMessageHandler
//   TCP listener (port 8100) --accept--> one control thread per session --^ (receive only)
//
// Start opens both sockets and starts the UDP and TCP listener threads, each a Worker.
// A socket that cannot be made or bound is reported in a message box (no caption) and
// start-up goes on without it; buffer and thread failures fail the start. Stop asks
// every worker to stop, wakes them through an eventfd that each one polls beside its
// socket, joins them and closes the sockets, so a transport can be started and stopped
// many times in one process. Send may be called from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <vector>

#include "base/window/window.h"
#include "base/worker.h"
#include "net/socket/datagram_sender.h"
#include "net/socket/udp_socket.h"
#include "net/socket/unique_fd.h"
#include "net/transport/dispatch.h"

namespace kestrelio {

struct TransportConfig {
  uint32_t bind_ipv4 = 0;               // host byte order; 0 is any local address (--bind)
  uint16_t udp_port = kHandsetUdpPort;  // 0: an ephemeral port, see Transport::udp_port()
  uint16_t tcp_port = kHandsetTcpPort;
};

// At most this many TCP control sessions at once; further connections are closed at once.
inline constexpr size_t kMaxTcpSessions = 8;

class Transport : public DatagramSender {
 public:
  explicit Transport(Window& window);
  ~Transport() override;
  Transport(const Transport&) = delete;
  Transport& operator=(const Transport&) = delete;

  // `control` takes every message outside the video path, `media` (the media channel)
  // the video path; both must outlive Stop. False when a buffer or thread could not be
  // made; socket failures are shown and leave that socket closed.
  bool Start(const TransportConfig& config, ControlMessageHandler& control,
             MediaMessageHandler& media);
  // Stops and joins every thread, closes every socket. Safe to call more than once.
  void Stop();

  // One message in one datagram from the UDP socket; kFailed (EBADF) when it is closed.
  SendResult Send(std::span<const uint8_t> message, const NetAddress& to) override;

  bool udp_open() const { return udp_.is_open(); }
  bool tcp_open() const { return listener_.valid(); }
  // The bound ports (the ephemeral ones when 0 was asked for); 0 when closed.
  uint16_t udp_port() const { return udp_port_; }
  uint16_t tcp_port() const { return tcp_port_; }
  // The peer address of the last accepted control session; 0.0.0.0 when none.
  NetAddress last_session_peer() const;
  // Control sessions currently open.
  size_t open_sessions() const;

 private:
  struct TcpSession;

  void OpenTcp(const TransportConfig& config);
  void OpenUdp(const TransportConfig& config);
  void UdpLoop(std::stop_token stop);
  void ListenerLoop(std::stop_token stop);
  void SessionLoop(TcpSession& session, std::stop_token stop);
  void AcceptSession();
  void ReapSessions();

  Window& window_;
  std::optional<MessageHandlers> handlers_;
  UdpSocket udp_;
  UniqueFd listener_;
  UniqueFd wake_;  // eventfd: readable once Stop has begun
  uint16_t udp_port_ = 0;
  uint16_t tcp_port_ = 0;
  std::unique_ptr<uint8_t[]> udp_buffer_;
  Worker udp_worker_;
  Worker listener_worker_;

  mutable std::mutex sessions_mutex_;
  std::vector<std::unique_ptr<TcpSession>> sessions_;
  std::atomic<uint32_t> last_peer_ipv4_{0};
  std::atomic<uint16_t> last_peer_port_{0};
};

}  // namespace kestrelio
