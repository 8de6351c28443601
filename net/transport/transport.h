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
//
// Control sessions. A session's bytes are framed into messages by their length field
// (SessionFramer); a length that cannot be framed closes the session, and so do 30 s
// (scaled by KESTRELIO_TIMER_SCALE) without a byte. At most kMaxTcpSessions are read at
// once; further connections wait in the listen queue until a session ends.
//
// The call socket. Every accept makes the current session and its peer address the
// saved ones and the accepted session current (an accept that fails leaves no session
// current). The call socket stays current when its session ends by itself (the far end
// closed it, or sent a message that ends a session) until signalling closes or forgets
// it, or the next accept moves it aside; a session the handset closes (idle, framing) is
// no longer current or saved. Every session belongs to the transport alone: closing one
// shuts it down, which ends its reader, and its socket is closed when its thread has been
// joined and no call socket names it any more.
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

// At most this many TCP control sessions are read at once; further connections wait in
// the listen queue until one ends.
inline constexpr size_t kMaxTcpSessions = 8;
// A control session without a byte for this long is closed (scaled by the timer scale).
inline constexpr int kSessionIdlePeriodMs = 30000;

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
  // The session peer address: that of the current call socket as the last accept or
  // restore made it; 0.0.0.0 when no session was ever accepted.
  NetAddress session_peer() const;
  // Control sessions whose thread still reads.
  size_t open_sessions() const;

  // The call socket, as signalling uses it. Any thread.
  // A call socket is current (whether or not its session still reads).
  bool has_call_socket() const;
  // Closes the current call socket, if any, and leaves none current.
  void CloseCallSocket();
  // Leaves no call socket current without closing it (its session reads on).
  void ForgetCallSocket();
  // Makes the saved call socket and saved session peer address current again.
  void RestoreSavedCallSocket();

 private:
  struct TcpSession;

  void OpenTcp(const TransportConfig& config);
  void OpenUdp(const TransportConfig& config);
  void UdpLoop(std::stop_token stop);
  void ListenerLoop(std::stop_token stop);
  void SessionLoop(TcpSession& session, std::stop_token stop);
  // False when the accept failed (not merely found the queue empty).
  bool AcceptSession();
  void ReapSessions();
  // A session the handset itself ends: no call socket names it any more. Under
  // sessions_mutex_.
  void DropCallSocketLocked(const TcpSession* session);
  size_t ReadingSessionsLocked() const;

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
  std::vector<std::unique_ptr<TcpSession>> sessions_;  // under sessions_mutex_
  // The call socket and the saved call socket: sessions in sessions_, or none. A
  // session named here is not reaped. Under sessions_mutex_.
  TcpSession* current_ = nullptr;
  TcpSession* saved_ = nullptr;
  NetAddress current_peer_;
  NetAddress saved_peer_;
};

}  // namespace kestrelio
