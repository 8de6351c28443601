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
#include "net/socket/socket_address.h"

namespace kestrelio {
namespace {

uint16_t BoundPort(int fd) {
  sockaddr_in bound{};
  socklen_t length = sizeof bound;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) return 0;
  return FromSocketAddress(bound).port;
}

// Waits for `fd` or the wake eventfd; false when the worker is to stop.
bool WaitForWork(int fd, int wake_fd, const std::stop_token& stop) {
  if (stop.stop_requested()) return false;
  int error = 0;
  switch (WaitReadable(fd, wake_fd, &error)) {
    case WaitStatus::kReadable:
      return !stop.stop_requested();
    case WaitStatus::kWoken:
      return false;
    case WaitStatus::kFailed:
      Diag("transport: poll failed: %s", std::strerror(error));
      return false;
  }
  return false;
}

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
  UniqueFd fd;
  NetAddress peer;
  std::unique_ptr<uint8_t[]> buffer;  // one per session: sessions run side by side
  Worker worker;
  std::atomic<bool> done{false};
};

Transport::Transport(Window& window) : window_(window) {}

Transport::~Transport() { Stop(); }

void Transport::OpenTcp(const TransportConfig& config) {
  UniqueFd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
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
  {
    std::lock_guard lock(sessions_mutex_);
    for (auto& session : sessions_) session->worker.Stop();
    sessions_.clear();
  }
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

NetAddress Transport::last_session_peer() const {
  return NetAddress{last_peer_ipv4_.load(std::memory_order_relaxed),
                    last_peer_port_.load(std::memory_order_relaxed)};
}

size_t Transport::open_sessions() const {
  std::lock_guard lock(sessions_mutex_);
  size_t open = 0;
  for (const auto& session : sessions_) open += session->done.load() ? 0 : 1;
  return open;
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
  std::lock_guard lock(sessions_mutex_);
  for (auto it = sessions_.begin(); it != sessions_.end();) {
    if ((*it)->done.load(std::memory_order_acquire)) {
      (*it)->worker.Stop();
      it = sessions_.erase(it);
    } else {
      ++it;
    }
  }
}

void Transport::ListenerLoop(std::stop_token stop) {
  while (WaitForWork(listener_.get(), wake_.get(), stop)) AcceptSession();
}

void Transport::AcceptSession() {
  sockaddr_in peer{};
  socklen_t peer_length = sizeof peer;
  UniqueFd accepted(
      accept4(listener_.get(), reinterpret_cast<sockaddr*>(&peer), &peer_length, SOCK_CLOEXEC));
  if (!accepted.valid()) return;
  ReapSessions();
  const NetAddress peer_address = FromSocketAddress(peer);
  last_peer_ipv4_.store(peer_address.ipv4, std::memory_order_relaxed);
  last_peer_port_.store(peer_address.port, std::memory_order_relaxed);

  std::lock_guard lock(sessions_mutex_);
  if (sessions_.size() >= kMaxTcpSessions) {
    Diag("transport: %zu control sessions open; session from %s refused", sessions_.size(),
         DottedAddress(peer_address.ipv4).c_str());
    return;
  }
  auto session = std::make_unique<TcpSession>();
  session->buffer.reset(new (std::nothrow) uint8_t[kMaxMessageBytes]);
  if (!session->buffer) {
    Diag("transport: no buffer for a control session");
    return;
  }
  const int accepted_fd = accepted.get();
  session->fd = std::move(accepted);
  session->peer = peer_address;
  TcpSession& started = *session;
  if (!session->worker.Start("tcp-control", [this, &started](std::stop_token session_stop) {
        SessionLoop(started, session_stop);
      })) {
    char text[96];
    std::snprintf(text, sizeof text, "Cannot create TCP Control thread in callee(P:%d,A:%d)",
                  listener_.get(), accepted_fd);
    window_.ShowMessageBox(text, "", MessageBoxButtons::kOk);
    return;
  }
  sessions_.push_back(std::move(session));
}

void Transport::SessionLoop(TcpSession& session, std::stop_token stop) {
  const int fd = session.fd.get();
  // One receive is one message, as the senders on these sessions write them.
  while (WaitForWork(fd, wake_.get(), stop)) {
    const ssize_t received = recv(fd, session.buffer.get(), kMaxMessageBytes, MSG_DONTWAIT);
    if (received < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (received <= 0) break;
    const std::span<const uint8_t> message(session.buffer.get(), static_cast<size_t>(received));
    const DispatchResult result =
        DispatchMessage(message, session.peer, Channel::kTcp, fd, *handlers_, window_);
    if (result == DispatchResult::kControl && EndsTcpSession(message[kTypeOffset])) break;
  }
  // The session's socket is closed when it ends; the peer sees the close.
  shutdown(fd, SHUT_RDWR);
  session.done.store(true, std::memory_order_release);
}

}  // namespace kestrelio
