#include "net/transport/transport.h"

#include <netinet/in.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "base/diag.h"
#include "base/tick.h"
#include "base/timer_scale.h"
#include "net/socket/socket_address.h"
#include "net/transport/session_framer.h"

namespace kestrelio {
namespace {

uint16_t BoundPort(int fd) {
  sockaddr_in bound{};
  socklen_t length = sizeof bound;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) return 0;
  return FromSocketAddress(bound).port;
}

// While sessions are read the listener looks this often whether one has ended, to join
// its thread, close its socket and, when every slot was taken, accept the next.
constexpr int kReapPeriodMs = 100;
// After an accept that failed (out of descriptors, say), the listener waits this long
// before it tries again, rather than spinning on a listen queue that stays readable.
constexpr int kAcceptRetryMs = 250;

// Waits for `fd` or the wake eventfd; false when the worker is to stop.
bool WaitForWork(int fd, int wake_fd, const std::stop_token& stop) {
  if (stop.stop_requested()) return false;
  int error = 0;
  switch (WaitReadable(fd, wake_fd, &error)) {
    case WaitStatus::kReadable:
      return !stop.stop_requested();
    case WaitStatus::kWoken:
    case WaitStatus::kTimedOut:
      return false;
    case WaitStatus::kFailed:
      Diag("transport: poll failed: %s", std::strerror(error));
      return false;
  }
  return false;
}

enum class Wait { kReady, kTimedOut, kStop };

// Waits up to `timeout_ms` for `fd` (none when negative) or the wake eventfd.
Wait WaitFor(int fd, int wake_fd, int timeout_ms, const std::stop_token& stop) {
  if (stop.stop_requested()) return Wait::kStop;
  int error = 0;
  switch (WaitReadable(fd, wake_fd, &error, timeout_ms)) {
    case WaitStatus::kReadable:
      return stop.stop_requested() ? Wait::kStop : Wait::kReady;
    case WaitStatus::kTimedOut:
      return stop.stop_requested() ? Wait::kStop : Wait::kTimedOut;
    case WaitStatus::kWoken:
      return Wait::kStop;
    case WaitStatus::kFailed:
      Diag("transport: poll failed: %s", std::strerror(error));
      return Wait::kStop;
  }
  return Wait::kStop;
}

// Why a control session's thread stopped reading.
enum class SessionEnd { kPeer, kEndingMessage, kIdle, kBadLength, kStop };

// A TCP control session ends after the messages that close a call attempt.
bool EndsTcpSession(uint8_t type) {
  switch (static_cast<MessageType>(type)) {
    case MessageType::kCallRejectRsp:
    case MessageType::kCallBusyRsp:
    case MessageType::kCallNoAnswerRsp:
    case MessageType::kCallReleaseReq:
    case MessageType::kCallCancelReq:
      return true;
    default:
      return false;
  }
}

}  // namespace

struct Transport::TcpSession {
  UniqueFd fd;  // closed only when the session leaves sessions_
  NetAddress peer;
  std::unique_ptr<uint8_t[]> buffer;  // one per session: sessions run side by side
  Worker worker;
  std::atomic<bool> done{false};  // the thread has stopped reading (or never started)
};

Transport::Transport(Window& window) : window_(window) {}

Transport::~Transport() { Stop(); }

void Transport::OpenTcp(const TransportConfig& config) {
  // Non-blocking, so an accept after a connection vanished from the queue returns at once.
  UniqueFd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP));
  if (!fd.valid()) {
    window_.ShowMessageBox("Invalid TCP Socket", "", MessageBoxButtons::kOk);
    return;
  }
  int reuse = 1;
  setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
  const sockaddr_in address = ToSocketAddress(NetAddress{config.bind_ipv4, config.tcp_port});
  if (bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    Diag("transport: TCP bind to port %u failed: %s", config.tcp_port, std::strerror(errno));
    window_.ShowMessageBox("TCP Binding Error", "", MessageBoxButtons::kOk);
    return;
  }
  if (listen(fd.get(), SOMAXCONN) != 0) {
    window_.ShowMessageBox("TCP Passive Listen Error", "", MessageBoxButtons::kOk);
    return;
  }
  tcp_port_ = BoundPort(fd.get());
  listener_ = std::move(fd);
}

void Transport::OpenUdp(const TransportConfig& config) {
  const BindResult bound = udp_.Open(NetAddress{config.bind_ipv4, config.udp_port});
  switch (bound.status) {
    case BindStatus::kBound:
      udp_port_ = udp_.bound_port();
      return;
    case BindStatus::kNoSocket:
      Diag("transport: no UDP socket: %s", std::strerror(bound.error));
      window_.ShowMessageBox("Invalid UDP Socket", "", MessageBoxButtons::kOk);
      return;
    case BindStatus::kAddressInUse:
    case BindStatus::kFailed:
      Diag("transport: UDP bind to port %u failed: %s", config.udp_port,
           std::strerror(bound.error));
      window_.ShowMessageBox("UDP Binding Error", "", MessageBoxButtons::kOk);
      return;
  }
}

bool Transport::Start(const TransportConfig& config, ControlMessageHandler& control,
                      MediaMessageHandler& media) {
  Stop();
  handlers_.emplace(MessageHandlers{control, media});
  wake_.Reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!wake_.valid()) {
    window_.ShowMessageBox("Cannot create UDP thread", "", MessageBoxButtons::kOk);
    return false;
  }
  current_peer_ = saved_peer_ = NetAddress{};
  OpenTcp(config);
  OpenUdp(config);

  udp_buffer_.reset(new (std::nothrow) uint8_t[kMaxMessageBytes]);
  if (!udp_buffer_) {
    window_.ShowMessageBox("Cannot allocate data reception buffer", "", MessageBoxButtons::kOk);
    return false;
  }

  // A thread on a socket that failed would only spin on errors: it is not started.
  if (udp_.is_open() &&
      !udp_worker_.Start("udp", [this](std::stop_token stop) { UdpLoop(stop); })) {
    window_.ShowMessageBox("Cannot create UDP thread", "", MessageBoxButtons::kOk);
    return false;
  }
  if (listener_.valid() && !listener_worker_.Start("tcp-listener", [this](std::stop_token stop) {
        ListenerLoop(stop);
      })) {
    window_.ShowMessageBox("Cannot create a thread to create an active TCP session", "",
                           MessageBoxButtons::kOk);
    return false;
  }
  return true;
}

void Transport::Stop() {
  udp_worker_.RequestStop();
  listener_worker_.RequestStop();
  {
    std::lock_guard lock(sessions_mutex_);
    for (auto& session : sessions_) session->worker.RequestStop();
  }
  // The workers sleep in poll, not in SleepFor: the eventfd is what wakes them.
  if (wake_.valid()) {
    const uint64_t one = 1;
    if (write(wake_.get(), &one, sizeof one) != sizeof one) {
      Diag("transport: cannot wake the network threads: %s", std::strerror(errno));
    }
  }
  udp_worker_.Stop();
  listener_worker_.Stop();
  // Joined outside the lock: a session thread may be inside a handler that closes the
  // call socket, which takes the lock.
  std::vector<std::unique_ptr<TcpSession>> sessions;
  {
    std::lock_guard lock(sessions_mutex_);
    sessions.swap(sessions_);
    current_ = saved_ = nullptr;
  }
  for (auto& session : sessions) session->worker.Stop();
  sessions.clear();
  udp_.Close();
  listener_.Reset();
  wake_.Reset();
  udp_port_ = 0;
  tcp_port_ = 0;
  udp_buffer_.reset();
}

SendResult Transport::Send(std::span<const uint8_t> message, const NetAddress& to) {
  return udp_.Send(message, to);
}

NetAddress Transport::session_peer() const {
  std::lock_guard lock(sessions_mutex_);
  return current_peer_;
}

size_t Transport::ReadingSessionsLocked() const {
  size_t reading = 0;
  for (const auto& session : sessions_) reading += session->done.load() ? 0 : 1;
  return reading;
}

size_t Transport::open_sessions() const {
  std::lock_guard lock(sessions_mutex_);
  return ReadingSessionsLocked();
}

bool Transport::has_call_socket() const {
  std::lock_guard lock(sessions_mutex_);
  return current_ != nullptr;
}

void Transport::CloseCallSocket() {
  std::lock_guard lock(sessions_mutex_);
  if (current_ == nullptr) return;
  // Wakes the session's reader, which ends; the listener then joins it and closes the
  // socket. The peer sees the close now.
  shutdown(current_->fd.get(), SHUT_RDWR);
  DropCallSocketLocked(current_);
}

void Transport::ForgetCallSocket() {
  std::lock_guard lock(sessions_mutex_);
  current_ = nullptr;
}

void Transport::RestoreSavedCallSocket() {
  std::lock_guard lock(sessions_mutex_);
  current_ = saved_;
  current_peer_ = saved_peer_;
}

void Transport::DropCallSocketLocked(const TcpSession* session) {
  // A closed socket is never made current again by a restore.
  if (current_ == session) current_ = nullptr;
  if (saved_ == session) saved_ = nullptr;
}

void Transport::UdpLoop(std::stop_token stop) {
  const std::span<uint8_t> buffer(udp_buffer_.get(), kMaxMessageBytes);
  while (WaitForWork(udp_.fd(), wake_.get(), stop)) {
    const ReceiveResult got = udp_.Receive(buffer, 0);
    switch (got.status) {
      case ReceiveStatus::kDatagram:
        if (got.size == 0) break;  // an empty datagram carries nothing to dispatch
        DispatchMessage(buffer.first(got.size), got.from, Channel::kUdp, udp_.fd(), *handlers_,
                        window_);
        break;
      case ReceiveStatus::kOversized:
        Diag("transport: dropped a %zu-byte datagram, larger than %zu bytes", got.size,
             kMaxMessageBytes);
        break;
      case ReceiveStatus::kNothing:
      case ReceiveStatus::kFailed:
        break;  // as a result of 0 or less: receive again
    }
  }
}

void Transport::ReapSessions() {
  std::vector<std::unique_ptr<TcpSession>> ended;
  {
    std::lock_guard lock(sessions_mutex_);
    for (auto it = sessions_.begin(); it != sessions_.end();) {
      TcpSession* session = it->get();
      if (session->done.load(std::memory_order_acquire) && session != current_ &&
          session != saved_) {
        ended.push_back(std::move(*it));
        it = sessions_.erase(it);
      } else {
        ++it;
      }
    }
  }
  // Their threads have left the read loop: the joins are immediate, and the sockets
  // close as the sessions go.
  ended.clear();
}

void Transport::ListenerLoop(std::stop_token stop) {
  while (true) {
    ReapSessions();
    size_t reading = 0;
    {
      std::lock_guard lock(sessions_mutex_);
      reading = ReadingSessionsLocked();
    }
    const bool full = reading >= kMaxTcpSessions;
    // With every slot taken the listen queue is not looked at: the connections wait
    // there (bounded by the backlog) until a session ends.
    const Wait wait =
        WaitFor(full ? -1 : listener_.get(), wake_.get(), reading > 0 ? kReapPeriodMs : -1, stop);
    if (wait == Wait::kStop) return;
    if (wait == Wait::kTimedOut) continue;
    if (!AcceptSession() && WaitFor(-1, wake_.get(), kAcceptRetryMs, stop) == Wait::kStop) {
      return;
    }
  }
}

bool Transport::AcceptSession() {
  sockaddr_in peer{};
  socklen_t peer_length = sizeof peer;
  UniqueFd accepted(
      accept4(listener_.get(), reinterpret_cast<sockaddr*>(&peer), &peer_length, SOCK_CLOEXEC));
  if (!accepted.valid()) {
    const int error = errno;
    // The connection left the queue before it was taken: nothing was accepted.
    if (error == EAGAIN || error == EWOULDBLOCK || error == EINTR || error == ECONNABORTED) {
      return true;
    }
    Diag("transport: accept failed: %s", std::strerror(error));
    // As for any accept: what was current is saved, and no call socket is current.
    std::lock_guard lock(sessions_mutex_);
    saved_ = current_;
    saved_peer_ = current_peer_;
    current_ = nullptr;
    return false;
  }
  const NetAddress peer_address = FromSocketAddress(peer);
  auto session = std::make_unique<TcpSession>();
  session->buffer.reset(new (std::nothrow) uint8_t[kMaxMessageBytes]);
  const int accepted_fd = accepted.get();
  session->fd = std::move(accepted);
  session->peer = peer_address;
  TcpSession& started = *session;

  {
    std::lock_guard lock(sessions_mutex_);
    saved_ = current_;
    saved_peer_ = current_peer_;
    current_ = &started;
    current_peer_ = peer_address;
    sessions_.push_back(std::move(session));
    if (!started.buffer) {
      Diag("transport: no buffer for the control session from %s",
           DottedAddress(peer_address.ipv4).c_str());
      started.done.store(true, std::memory_order_release);
      return true;
    }
    if (started.worker.Start("tcp-control", [this, &started](std::stop_token session_stop) {
          SessionLoop(started, session_stop);
        })) {
      return true;
    }
    // The socket stays the call socket, unread, until an accept moves it aside.
    started.done.store(true, std::memory_order_release);
  }
  // Shown without the lock: signalling may close the call socket meanwhile.
  char text[96];
  std::snprintf(text, sizeof text, "Cannot create TCP Control thread in callee(P:%d,A:%d)",
                listener_.get(), accepted_fd);
  window_.ShowMessageBox(text, "", MessageBoxButtons::kOk);
  return true;
}

void Transport::SessionLoop(TcpSession& session, std::stop_token stop) {
  const int fd = session.fd.get();
  const uint32_t idle_ms = static_cast<uint32_t>(ScaledPeriodMs(kSessionIdlePeriodMs));
  SessionFramer framer(std::span<uint8_t>(session.buffer.get(), kMaxMessageBytes));
  uint32_t last_byte_ms = TickCountMs();
  SessionEnd end = SessionEnd::kPeer;
  while (true) {
    const uint32_t quiet_ms = TickCountMs() - last_byte_ms;
    if (quiet_ms >= idle_ms) {
      end = SessionEnd::kIdle;
      break;
    }
    const Wait wait = WaitFor(fd, wake_.get(), static_cast<int>(idle_ms - quiet_ms), stop);
    if (wait == Wait::kStop) {
      end = SessionEnd::kStop;
      break;
    }
    if (wait == Wait::kTimedOut) continue;
    const std::span<uint8_t> space = framer.FreeSpace();
    const ssize_t received = recv(fd, space.data(), space.size(), MSG_DONTWAIT);
    if (received < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (received <= 0) break;  // the far end closed the session, or it failed
    last_byte_ms = TickCountMs();
    framer.Commit(static_cast<size_t>(received));
    FrameItem item = framer.Next();
    for (; item.kind != FrameKind::kNeedMore; item = framer.Next()) {
      if (item.kind == FrameKind::kBadLength) break;
      // Foreign bytes go through the intake too, which writes their diagnostic.
      const DispatchResult result =
          DispatchMessage(item.bytes, session.peer, Channel::kTcp, fd, *handlers_, window_);
      if (item.kind == FrameKind::kMessage && result == DispatchResult::kControl &&
          EndsTcpSession(item.bytes[kTypeOffset])) {
        end = SessionEnd::kEndingMessage;
        break;
      }
    }
    if (item.kind == FrameKind::kBadLength) {
      Diag("transport: control session from %s sent a message length of %u; session closed",
           DottedAddress(session.peer.ipv4).c_str(), item.length);
      end = SessionEnd::kBadLength;
      break;
    }
    if (end == SessionEnd::kEndingMessage) break;
  }
  if (end == SessionEnd::kIdle) {
    Diag("transport: control session from %s silent for %u ms; session closed",
         DottedAddress(session.peer.ipv4).c_str(), idle_ms);
  }
  if (end != SessionEnd::kStop) handlers_->control.OnSessionEnded();
  {
    std::lock_guard lock(sessions_mutex_);
    // Closed by the handset: no call socket names it. Ended by the far end: it stays
    // the call socket until signalling or the next accept moves it.
    if (end == SessionEnd::kIdle || end == SessionEnd::kBadLength) DropCallSocketLocked(&session);
  }
  // The peer sees the end of the session; the socket itself closes when it is reaped.
  shutdown(fd, SHUT_RDWR);
  session.done.store(true, std::memory_order_release);
}

}  // namespace kestrelio
