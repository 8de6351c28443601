// presence_load [--server ADDR:PORT] [--handsets N] [--seconds S] [--calls N]
//
// Simulated handsets on 127.0.0.x against kestrelio-presence (started here, on one core,
// unless --server names a running one). First 100 users sign in; then the handsets keep
// alive as fast as the server answers (a few outstanding each) for S seconds, and a
// keep-alive counts as answered when its last list page arrives; then one handset calls
// another N times and the time from CallRequest to both CallConnectInd is measured.
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "base/diag.h"
#include "net/socket/socket_address.h"
#include "net/socket/udp_socket.h"
#include "net/wire/presence_messages.h"

extern char** environ;

namespace kestrelio {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kOutstandingPerHandset = 4;

struct Options {
  NetAddress server{0x7F000001, 0};
  int handsets = 8;
  double seconds = 3;
  int calls = 2000;
};

// The server as a child process pinned to one core; stopped on destruction.
class SpawnedServer {
 public:
  explicit SpawnedServer(uint16_t port) {
    std::string port_text = std::to_string(port);
    // The per-source limits would cap what this measures: throughput from few sockets.
    std::vector<std::string> args = {
        "taskset", "-c",          "0", KESTRELIO_PRESENCE_BIN, "--bind", "127.0.0.1", "--port",
        port_text, "--list-rate", "0", "--signin-rate",        "0"};
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (posix_spawnp(&pid_, "taskset", &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~SpawnedServer() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  bool ok() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
};

struct Handset {
  std::unique_ptr<UdpSocket> socket;
  std::string phone;
  uint16_t counter = 0;
};

// The size of the next whole datagram within `wait_ms`; nullopt for none (an oversized
// or failed receive counts as none).
std::optional<size_t> TakeDatagram(UdpSocket& socket, std::span<uint8_t> buffer, int wait_ms) {
  const ReceiveResult got = socket.Receive(buffer, wait_ms);
  if (got.status != ReceiveStatus::kDatagram) return std::nullopt;
  return got.size;
}

void SendKeepAlive(Handset& h, const NetAddress& server, std::span<uint8_t> buffer) {
  KeepAliveFields fields;
  fields.counter = h.counter++;
  fields.phone = h.phone.c_str();
  fields.user_name = "load";
  fields.local_address = "10.0.0.1";
  h.socket->Send(buffer.first(BuildKeepAlive(buffer, fields)), server);
}

// Drains one list answer; true when the last page came.
bool AwaitList(Handset& h, std::span<uint8_t> buffer, int timeout_ms) {
  for (;;) {
    auto size = TakeDatagram(*h.socket, buffer, timeout_ms);
    if (!size) return false;
    auto page = ParseUserListInd(buffer.first(*size));
    if (page && page->page == page->page_count) return true;
  }
}

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  size_t index = static_cast<size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(index, values.size() - 1)];
}

int Run(const Options& options) {
  DiagQuietScope quiet;
  std::vector<uint8_t> buffer(kMaxMessageBytes);
  NetAddress server = options.server;
  std::unique_ptr<SpawnedServer> spawned;
  if (server.port == 0) {
    {
      UdpSocket probe(NetAddress{0x7F000001, 0});  // a free port, released at once
      server.port = probe.local_address().port;
    }
    spawned = std::make_unique<SpawnedServer>(server.port);
    if (!spawned->ok()) {
      std::fprintf(stderr, "cannot start %s\n", KESTRELIO_PRESENCE_BIN);
      return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }

  // 100 users: the handsets plus fillers signed in from one socket.
  std::vector<Handset> handsets;
  for (int i = 0; i < options.handsets; ++i) {
    Handset h;
    h.socket = std::make_unique<UdpSocket>(NetAddress{0x7F000010u + uint32_t(i), 0});
    h.phone = "0107000" + std::to_string(1000 + i);
    handsets.push_back(std::move(h));
  }
  Handset filler{std::make_unique<UdpSocket>(NetAddress{0x7F000009, 0}), "", 0};
  for (int i = 0; i < int(kMaxListedUsers) - options.handsets; ++i) {
    filler.phone = "0108000" + std::to_string(1000 + i);
    SendKeepAlive(filler, server, buffer);
    if (!AwaitList(filler, buffer, 2000)) {
      std::fprintf(stderr, "no answer from the server\n");
      return 1;
    }
  }
  for (Handset& h : handsets) {
    SendKeepAlive(h, server, buffer);
    AwaitList(h, buffer, 2000);
  }

  // Throughput: a few keep-alives outstanding per handset, refilled as answers complete.
  std::vector<int> outstanding(handsets.size(), 0);
  uint64_t answered = 0;
  auto start = Clock::now();
  auto end = start + std::chrono::duration<double>(options.seconds);
  while (Clock::now() < end) {
    for (size_t i = 0; i < handsets.size(); ++i) {
      while (outstanding[i] < kOutstandingPerHandset) {
        SendKeepAlive(handsets[i], server, buffer);
        ++outstanding[i];
      }
      while (auto size = TakeDatagram(*handsets[i].socket, buffer, 0)) {
        auto page = ParseUserListInd(std::span(buffer).first(*size));
        if (page && page->page == page->page_count) {
          ++answered;
          --outstanding[i];
        }
      }
    }
  }
  double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  for (Handset& h : handsets) {
    while (TakeDatagram(*h.socket, buffer, 50)) {
    }
  }
  std::printf("keep-alives answered: %llu in %.2f s = %.0f per second (%zu users, 5 pages each)\n",
              static_cast<unsigned long long>(answered), elapsed, double(answered) / elapsed,
              kMaxListedUsers);

  // Latency: handset 0 calls handset 1 again and again.
  if (handsets.size() >= 2 && options.calls > 0) {
    Handset& a = handsets[0];
    Handset& b = handsets[1];
    std::vector<double> caller_us;
    std::vector<double> both_us;
    int lost = 0;
    for (int i = 0; i < options.calls; ++i) {
      CallRequestFields request{static_cast<uint16_t>(i), a.phone.c_str(), b.phone.c_str()};
      auto t0 = Clock::now();
      a.socket->Send(std::span(buffer).first(BuildCallRequest(buffer, request)), server);
      bool got_a = false;
      bool got_b = false;
      auto deadline = t0 + std::chrono::seconds(1);
      while ((!got_a || !got_b) && Clock::now() < deadline) {
        auto size = got_a ? std::nullopt : TakeDatagram(*a.socket, buffer, 0);
        if (size && ParseCallConnectInd(std::span(buffer).first(*size))) {
          got_a = true;
          caller_us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        }
        if (!got_b && TakeDatagram(*b.socket, buffer, 0)) got_b = true;
      }
      if (got_a && got_b) {
        both_us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
      } else {
        ++lost;
      }
    }
    std::printf("CallRequest to CallConnectInd at the caller: median %.1f us, p99 %.1f us\n",
                Percentile(caller_us, 0.5), Percentile(caller_us, 0.99));
    std::printf(
        "CallRequest to CallConnectInd at both:       median %.1f us, p99 %.1f us"
        " (%d calls, %d lost)\n",
        Percentile(both_us, 0.5), Percentile(both_us, 0.99), options.calls, lost);
  }
  return 0;
}

}  // namespace
}  // namespace kestrelio

int main(int argc, char** argv) {
  kestrelio::Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string_view arg = argv[i];
    const char* value = argv[i + 1];
    if (arg == "--server") {
      std::string text = value;
      size_t colon = text.find(':');
      auto address = kestrelio::ParseDottedAddress(text.substr(0, colon));
      if (!address || colon == std::string::npos) return 2;
      options.server = {*address, static_cast<uint16_t>(std::atoi(text.c_str() + colon + 1))};
    } else if (arg == "--handsets") {
      options.handsets = std::clamp(std::atoi(value), 1, 50);
    } else if (arg == "--seconds") {
      options.seconds = std::clamp(std::atof(value), 0.1, 60.0);
    } else if (arg == "--calls") {
      options.calls = std::clamp(std::atoi(value), 0, 100000);
    } else {
      std::fprintf(stderr,
                   "usage: presence_load [--server ADDR:PORT] [--handsets N] [--seconds S] "
                   "[--calls N]\n");
      return 2;
    }
  }
  return kestrelio::Run(options);
}
