// kestrelio-presence [--bind ADDR] [--port N] [--offline-after SECONDS]
//                    [--list-rate PER_SECOND] [--signin-rate PER_MINUTE] (0: no limit)
//
// Prints one JSON line per event on stdout, the first one {"event":"listening",...} with
// the bound address and port (useful with --port 0). Stops cleanly on SIGINT or SIGTERM
// and prints the counters as a last "stopped" line.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string_view>

#include "base/diag.h"
#include "net/socket/socket_address.h"
#include "net/socket/udp_socket.h"
#include "net/socket/unique_fd.h"
#include "servers/presence/event_log.h"
#include "servers/presence/presence_server.h"

namespace kestrelio {
namespace {

constexpr int kSweepPeriodMs = 100;
// Datagrams taken in one round before the clock is looked at again.
constexpr int kReceivesPerRound = 256;
// Room for bursts of list pages to many handsets at once.
constexpr int kSocketBufferBytes = 4 << 20;

struct Options {
  NetAddress bind{0, kPresencePort};
  double offline_after_s = 30.0;
  long list_rate = -1;    // lists per second per source; -1: the server's default
  long signin_rate = -1;  // new numbers per minute per source; -1: the default
};

uint64_t NowMs() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

int Usage() {
  std::fprintf(stderr,
               "usage: kestrelio-presence [--bind ADDR] [--port N] [--offline-after SECONDS]\n"
               "                          [--list-rate PER_SECOND] [--signin-rate PER_MINUTE]\n");
  return 2;
}

bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (i + 1 >= argc) return false;
    const char* value = argv[++i];
    char* end = nullptr;
    if (arg == "--bind") {
      auto address = ParseDottedAddress(value);
      if (!address) return false;
      options->bind.ipv4 = *address;
    } else if (arg == "--port") {
      long port = std::strtol(value, &end, 10);
      if (*value == '\0' || *end != '\0' || port < 0 || port > 65535) return false;
      options->bind.port = static_cast<uint16_t>(port);
    } else if (arg == "--offline-after") {
      double seconds = std::strtod(value, &end);
      if (*value == '\0' || *end != '\0' || !std::isfinite(seconds) || seconds <= 0 ||
          seconds > 86400) {
        return false;
      }
      options->offline_after_s = seconds;
    } else if (arg == "--list-rate" || arg == "--signin-rate") {
      long rate = std::strtol(value, &end, 10);
      if (*value == '\0' || *end != '\0' || rate < 0 || rate > 1000000) return false;
      (arg == "--list-rate" ? options->list_rate : options->signin_rate) = rate;
    } else {
      return false;
    }
  }
  return true;
}

int Run(const Options& options) {
  // Signals arrive on a descriptor polled beside the socket: no handler, no global flag.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  sigprocmask(SIG_BLOCK, &stop_signals, nullptr);
  UniqueFd signal_fd(signalfd(-1, &stop_signals, SFD_CLOEXEC));
  if (!signal_fd.valid()) {
    Diag("presence: signalfd: %s", std::strerror(errno));
    return 1;
  }

  UdpSocket socket;
  if (const BindResult bound = socket.Open(options.bind, UdpSocketOptions{kSocketBufferBytes});
      !bound.ok()) {
    Diag("presence: cannot bind %s:%u: %s", DottedAddress(options.bind.ipv4).c_str(),
         options.bind.port, std::strerror(bound.error));
    return 1;
  }
  NetAddress bound = socket.local_address();

  PresenceConfig config;
  config.offline_after_ms = static_cast<uint64_t>(std::llround(options.offline_after_s * 1000));
  config.server_id = static_cast<uint32_t>(std::time(nullptr));
  if (options.list_rate >= 0) {
    config.lists_per_source_per_second = static_cast<uint32_t>(options.list_rate);
  }
  if (options.signin_rate >= 0) {
    config.signins_per_source_per_minute = static_cast<uint32_t>(options.signin_rate);
  }
  PresenceServer server(config, socket, stdout);

  JsonLine(stdout, NowMs(), "listening")
      .Text("address", DottedAddress(bound.ipv4).view())
      .Number("port", bound.port)
      .Number("offline_after_ms", static_cast<int64_t>(config.offline_after_ms))
      .Finish();

  std::array<uint8_t, kMaxMessageBytes> buffer{};
  std::array<pollfd, 2> waiters = {pollfd{socket.fd(), POLLIN, 0},
                                   pollfd{signal_fd.get(), POLLIN, 0}};
  uint64_t next_sweep_ms = NowMs() + kSweepPeriodMs;
  for (;;) {
    uint64_t now_ms = NowMs();
    int wait_ms = now_ms >= next_sweep_ms ? 0 : static_cast<int>(next_sweep_ms - now_ms);
    if (poll(waiters.data(), waiters.size(), wait_ms) < 0 && errno != EINTR) break;
    if (waiters[1].revents != 0) break;
    // Take everything that is waiting before looking at the clock again.
    for (int taken = 0; taken < kReceivesPerRound; ++taken) {
      const ReceiveResult got = socket.Receive(buffer, 0);
      if (got.status == ReceiveStatus::kNothing) break;
      if (got.status == ReceiveStatus::kFailed) {
        // An ICMP error for an earlier answer surfaces here; the socket stays usable.
        Diag("presence: receive failed: %s", std::strerror(got.error));
        continue;
      }
      if (got.status == ReceiveStatus::kOversized) {
        server.HandleOversized(buffer, got.size, got.from, NowMs());
        continue;
      }
      server.HandleDatagram(std::span(buffer).first(got.size), got.from, NowMs());
    }
    now_ms = NowMs();
    if (now_ms >= next_sweep_ms) {
      server.Sweep(now_ms);
      next_sweep_ms = now_ms + kSweepPeriodMs;
    }
  }

  const PresenceStats& stats = server.stats();
  JsonLine(stdout, NowMs(), "stopped")
      .Number("keep_alives", static_cast<int64_t>(stats.keep_alives))
      .Number("list_pages_sent", static_cast<int64_t>(stats.list_pages_sent))
      .Number("call_requests", static_cast<int64_t>(stats.call_requests))
      .Number("calls_connected", static_cast<int64_t>(stats.calls_connected))
      .Number("calls_busy", static_cast<int64_t>(stats.calls_busy))
      .Number("calls_refused", static_cast<int64_t>(stats.calls_refused))
      .Number("setup_reports", static_cast<int64_t>(stats.setup_reports))
      .Number("malformed", static_cast<int64_t>(stats.malformed))
      .Number("unexpected", static_cast<int64_t>(stats.unexpected))
      .Number("send_failures", static_cast<int64_t>(stats.send_failures))
      .Finish();
  std::fflush(stdout);
  return 0;
}

}  // namespace
}  // namespace kestrelio

int main(int argc, char** argv) {
  kestrelio::SetThreadName("presence");
  // Line-buffered so that a reader of the log sees each event as it happens.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  kestrelio::Options options;
  if (!kestrelio::ParseOptions(argc, argv, &options)) return kestrelio::Usage();
  return kestrelio::Run(options);
}
