#include "net/transport/transport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <system_error>

#include "base/diag.h"

namespace kestrelio {
namespace {

sockaddr_in SocketAddress(uint32_t ipv4, uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(ipv4);
  address.sin_port = htons(port);
  return address;
}

NetAddress FromSocketAddress(const sockaddr_in& address) {
  return NetAddress{ntohl(address.sin_addr.s_addr), ntohs(address.sin_port)};
}

uint16_t BoundPort(int fd) {
  sockaddr_in bound{};
  socklen_t length = sizeof bound;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) return 0;
  return ntohs(bound.sin_port);
}

// Waits until `fd` is readable or the wake eventfd fires. False: stop.
bool WaitReadable(int fd, int wake_fd) {
  pollfd fds[2] = {{fd, POLLIN, 0}, {wake_fd, POLLIN, 0}};
  while (true) {
    int ready = poll(fds, 2, -1);
    if (ready < 0) {
      if (errno == EINTR) continue;
      Diag("transport: poll failed: %s", std::strerror(errno));
      return false;
    }
    if (fds[1].revents != 0) return false;
    if (fds[0].revents != 0) return true;
  }
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
  std::thread thread;
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
  sockaddr_in address = SocketAddress(config.bind_ipv4, config.tcp_port);
  if (bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
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
  UniqueFd fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP));
  if (!fd.valid()) {
    window_.ShowMessageBox("Invalid UDP Socket", "", MessageBoxButtons::kOk);
    return;
  }
  sockaddr_in address = SocketAddress(config.bind_ipv4, config.udp_port);
  if (bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    Diag("transport: UDP bind to port %u failed: %s", config.udp_port, std::strerror(errno));
    window_.ShowMessageBox("UDP Binding Error", "", MessageBoxButtons::kOk);
    return;
  }
  udp_port_ = BoundPort(fd.get());
  udp_ = std::move(fd);
}

bool Transport::Start(const TransportConfig& config, ControlMessageHandler& control,
                      ControlMessageHandler& media) {
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
  try {
    if (udp_.valid()) udp_thread_ = std::thread([this] { UdpLoop(); });
  } catch (const std::system_error&) {
    window_.ShowMessageBox("Cannot create UDP thread", "", MessageBoxButtons::kOk);
    return false;
  }
  try {
    if (listener_.valid()) listener_thread_ = std::thread([this] { ListenerLoop(); });
  } catch (const std::system_error&) {
    window_.ShowMessageBox("Cannot create a thread to create an active TCP session", "",
                           MessageBoxButtons::kOk);
    return false;
  }
  return true;
}

void Transport::Stop() {
  if (wake_.valid()) {
    uint64_t one = 1;
    if (write(wake_.get(), &one, sizeof one) != sizeof one) {
      Diag("transport: cannot wake the network threads: %s", std::strerror(errno));
    }
  }
  if (udp_thread_.joinable()) udp_thread_.join();
  if (listener_thread_.joinable()) listener_thread_.join();
  {
    std::lock_guard lock(sessions_mutex_);
    for (auto& session : sessions_) {
      if (session->thread.joinable()) session->thread.join();
    }
    sessions_.clear();
  }
  udp_.Reset();
  listener_.Reset();
  wake_.Reset();
  udp_port_ = 0;
  tcp_port_ = 0;
  udp_buffer_.reset();
}

long Transport::SendDatagram(std::span<const uint8_t> message, const NetAddress& to) {
  if (!udp_.valid()) return -1;
  sockaddr_in address = SocketAddress(to.ipv4, to.port);
  return static_cast<long>(sendto(udp_.get(), message.data(), message.size(), 0,
                                  reinterpret_cast<const sockaddr*>(&address), sizeof address));
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

void Transport::UdpLoop() {
  SetThreadName("udp");
  uint8_t* buffer = udp_buffer_.get();
  while (WaitReadable(udp_.get(), wake_.get())) {
    sockaddr_in source{};
    socklen_t source_length = sizeof source;
    // MSG_TRUNC makes recvfrom return the datagram's real size, so an oversized one is
    // recognised and dropped without looking at its cut-off bytes.
    const ssize_t received =
        recvfrom(udp_.get(), buffer, kMaxMessageBytes, MSG_TRUNC | MSG_DONTWAIT,
                 reinterpret_cast<sockaddr*>(&source), &source_length);
    if (received <= 0) continue;
    const auto size = static_cast<size_t>(received);
    if (size > kMaxMessageBytes) {
      Diag("transport: dropped a %zu-byte datagram, larger than %zu bytes", size, kMaxMessageBytes);
      continue;
    }
    DispatchMessage(std::span<const uint8_t>(buffer, size), FromSocketAddress(source),
                    Channel::kUdp, udp_.get(), *handlers_, window_);
  }
}

void Transport::ReapSessions() {
  std::lock_guard lock(sessions_mutex_);
  for (auto it = sessions_.begin(); it != sessions_.end();) {
    if ((*it)->done.load(std::memory_order_acquire)) {
      if ((*it)->thread.joinable()) (*it)->thread.join();
      it = sessions_.erase(it);
    } else {
      ++it;
    }
  }
}

void Transport::ListenerLoop() {
  SetThreadName("tcp-listener");
  while (WaitReadable(listener_.get(), wake_.get())) {
    sockaddr_in peer{};
    socklen_t peer_length = sizeof peer;
    UniqueFd accepted(
        accept4(listener_.get(), reinterpret_cast<sockaddr*>(&peer), &peer_length, SOCK_CLOEXEC));
    if (!accepted.valid()) continue;
    ReapSessions();
    const NetAddress peer_address = FromSocketAddress(peer);
    last_peer_ipv4_.store(peer_address.ipv4, std::memory_order_relaxed);
    last_peer_port_.store(peer_address.port, std::memory_order_relaxed);

    std::lock_guard lock(sessions_mutex_);
    if (sessions_.size() >= kMaxTcpSessions) {
      Diag("transport: %zu control sessions open; session from %s refused", sessions_.size(),
           DottedAddress(peer_address.ipv4).c_str());
      continue;
    }
    auto session = std::make_unique<TcpSession>();
    session->buffer.reset(new (std::nothrow) uint8_t[kMaxMessageBytes]);
    if (!session->buffer) {
      Diag("transport: no buffer for a control session");
      continue;
    }
    const int accepted_fd = accepted.get();
    session->fd = std::move(accepted);
    session->peer = peer_address;
    TcpSession& started = *session;
    try {
      session->thread = std::thread([this, &started] { SessionLoop(started); });
    } catch (const std::system_error&) {
      char text[96];
      std::snprintf(text, sizeof text, "Cannot create TCP Control thread in callee(P:%d,A:%d)",
                    listener_.get(), accepted_fd);
      window_.ShowMessageBox(text, "", MessageBoxButtons::kOk);
      continue;
    }
    sessions_.push_back(std::move(session));
  }
}

void Transport::SessionLoop(TcpSession& session) {
  SetThreadName("tcp-control");
  const int fd = session.fd.get();
  // One receive is one message, as the senders on these sessions write them.
  while (WaitReadable(fd, wake_.get())) {
    const ssize_t received = recv(fd, session.buffer.get(), kMaxMessageBytes, MSG_DONTWAIT);
    if (received < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (received <= 0) break;
    std::span<const uint8_t> message(session.buffer.get(), static_cast<size_t>(received));
    const DispatchResult result =
        DispatchMessage(message, session.peer, Channel::kTcp, fd, *handlers_, window_);
    if (result == DispatchResult::kControl && EndsTcpSession(message[1])) break;
  }
  // The session's socket is closed when it ends; the peer sees the close.
  shutdown(fd, SHUT_RDWR);
  session.done.store(true, std::memory_order_release);
}

}  // namespace kestrelio
