#include "fake_study_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

namespace kestrelio::testing_support {
namespace {

constexpr size_t kMaxRequestBytes = 1 << 20;

int BoundSocket(int& port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    std::abort();
  }
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  port = ntohs(address.sin_port);
  return fd;
}

// Reads until the header's end and as many body bytes as Content-Length names.
std::string ReadRequest(int connection) {
  std::string request;
  char chunk[4096];
  while (request.size() < kMaxRequestBytes) {
    const size_t header_end = request.find("\r\n\r\n");
    if (header_end != std::string::npos) {
      size_t body_length = 0;
      const size_t field = request.find("Content-Length: ");
      if (field != std::string::npos && field < header_end) {
        body_length = std::strtoul(request.c_str() + field + 16, nullptr, 10);
      }
      if (request.size() >= header_end + 4 + body_length) break;
    }
    ssize_t n = ::recv(connection, chunk, sizeof chunk, 0);
    if (n <= 0) break;
    request.append(chunk, static_cast<size_t>(n));
  }
  return request;
}

void SendAll(int connection, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::send(connection, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

}  // namespace

int ClosedPort() {
  int port = 0;
  int fd = BoundSocket(port);
  ::close(fd);
  return port;
}

FakeStudyServer::FakeStudyServer() {
  // Requests to this server go straight to it, whatever proxy the environment names.
  for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) ::unsetenv(name);
  listener_ = BoundSocket(port_);
  ::listen(listener_, 16);
  if (::pipe(wake_) != 0) std::abort();
  thread_ = std::thread([this] { Serve(); });
}

FakeStudyServer::~FakeStudyServer() {
  stopping_ = true;
  char byte = 0;
  (void)::write(wake_[1], &byte, 1);
  thread_.join();
  for (int fd : held_) ::close(fd);
  ::close(listener_);
  ::close(wake_[0]);
  ::close(wake_[1]);
}

void FakeStudyServer::Script(const std::string& path_prefix, Mode mode, const std::string& body,
                             int status) {
  std::lock_guard lock(mutex_);
  script_[path_prefix] = Answer{mode, body, status};
}

std::vector<std::string> FakeStudyServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

bool FakeStudyServer::WaitForRequests(size_t count, int limit_ms) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(limit_ms),
                           [&] { return requests_.size() >= count; });
}

FakeStudyServer::Answer FakeStudyServer::AnswerFor(const std::string& request) const {
  const size_t path_start = request.find(' ');
  const size_t path_end = request.find(' ', path_start + 1);
  const std::string path = path_start == std::string::npos || path_end == std::string::npos
                               ? std::string()
                               : request.substr(path_start + 1, path_end - path_start - 1);
  std::lock_guard lock(mutex_);
  const Answer* best = nullptr;
  size_t best_length = 0;
  for (const auto& [prefix, answer] : script_) {
    if (path.rfind(prefix, 0) == 0 && (best == nullptr || prefix.size() > best_length)) {
      best = &answer;
      best_length = prefix.size();
    }
  }
  return best != nullptr ? *best : Answer{Mode::kReply, "not found", 404};
}

void FakeStudyServer::Serve() {
  while (!stopping_) {
    pollfd fds[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) <= 0) continue;
    if (fds[1].revents != 0) break;
    const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection >= 0) Handle(connection);
  }
}

void FakeStudyServer::Handle(int connection) {
  const std::string request = ReadRequest(connection);
  const Answer answer = AnswerFor(request);
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
  }
  changed_.notify_all();
  switch (answer.mode) {
    case Mode::kReply:
      SendAll(connection, "HTTP/1.0 " + std::to_string(answer.status) +
                              " Scripted\r\nContent-Type: text/plain\r\nContent-Length: " +
                              std::to_string(answer.body.size()) + "\r\n\r\n" + answer.body);
      ::close(connection);
      break;
    case Mode::kSilent:
      held_.push_back(connection);  // closed when the server goes
      break;
    case Mode::kClose:
      ::close(connection);
      break;
  }
}

}  // namespace kestrelio::testing_support
