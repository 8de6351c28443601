// The presence server's datagram intake. The input is a sequence of datagrams, each
// preceded by a control byte (which of four sources sent it, how far the clock moves)
// and a 16-bit length, so the fuzzer can build up a user table and then call, list and
// time users out. Two users are signed in first so call paths are reachable at once.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "base/diag.h"
#include "net/wire/presence_messages.h"
#include "servers/presence/presence_server.h"

namespace kestrelio {
namespace {

class NullSender final : public DatagramSender {
 public:
  SendResult Send(std::span<const uint8_t> message, const NetAddress&) override {
    // Whatever the server sends must be a sound message.
    if (!ParseHeader(message)) __builtin_trap();
    return SendResult::Sent(message.size());
  }
};

void SignIn(PresenceServer& server, const char* phone, uint16_t status, NetAddress from) {
  KeepAliveFields fields;
  fields.phone = phone;
  fields.status = status;
  std::vector<uint8_t> out(kKeepAliveBytes);
  server.HandleDatagram(std::span(out).first(BuildKeepAlive(out, fields)), from, 0);
}

}  // namespace
}  // namespace kestrelio

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kestrelio;
  static DiagQuietScope quiet;
  NullSender sender;
  PresenceConfig config;
  config.offline_after_ms = 1000;
  PresenceServer server(config, sender, nullptr);
  const NetAddress sources[4] = {
      {0x7F000002, 8200}, {0x7F000003, 8200}, {0x0A000001, 1}, {0xC0A80001, 65535}};
  SignIn(server, "01000000002", kStatusIdle, sources[0]);
  SignIn(server, "01000000003", kStatusInCall, sources[1]);

  uint64_t now_ms = 0;
  size_t at = 0;
  while (at + 3 <= size) {
    uint8_t control = data[at];
    size_t length = data[at + 1] | (size_t{data[at + 2]} << 8);
    at += 3;
    if (length > size - at) length = size - at;
    now_ms += (control >> 2) * 50u;
    server.HandleDatagram(std::span(data + at, length), sources[control & 3], now_ms);
    server.Sweep(now_ms);
    at += length;
  }
  return 0;
}
