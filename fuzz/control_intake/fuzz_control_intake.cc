// Everything a handset does with a control message from outside, not only its parser:
// the intake of the UDP and TCP paths (version and header checks, routing), then call
// signalling and call control (set-up threads, prompts, answers, chat, release) and the
// media channel, all with the recording fake window. Any bytes, from any source, on
// either channel, in any order, must be taken or dropped without harm.
//
// Input: a sequence of messages, each [selector][length][length bytes]: the selector
// picks the source (the peer, the presence server, a stranger), the channel, and whether
// the handset is connected to a call first; the length is one byte (x 8 when the
// selector's top bit is set, for VideoData-sized messages).
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "base/diag.h"
#include "net/transport/dispatch.h"
#include "net/transport/media_channel.h"
#include "tests/support/call_harness.h"

namespace {

using kestrelio::Channel;
using kestrelio::NetAddress;

constexpr NetAddress kSources[] = {
    {0x7F000003, 8200},  // the peer the harness connects to
    {0x7F000001, 8238},  // the presence server
    {0x0A000001, 9999},  // a stranger
    {0x7F000003, 8201},  // the peer's address, another port
};

class CountingSink : public kestrelio::ReceivedVideoSink {
 public:
  void OnReceivedVideo(std::span<const uint8_t> payload) override { bytes += payload.size(); }
  size_t bytes = 0;
};

class NullPort : public kestrelio::DatagramSender {
 public:
  kestrelio::SendResult Send(std::span<const uint8_t> message, const NetAddress&) override {
    return kestrelio::SendResult::Sent(message.size());
  }
};

struct Rig {
  kestrelio::DiagQuietScope quiet;
  kestrelio::testing::CallHarness harness;
  NullPort port;
  CountingSink sink;
  kestrelio::KeyframeRequests keyframes;
  kestrelio::MediaReceiveCounters counters;
  kestrelio::MediaChannel media{kestrelio::MediaChannelContext{
      port, harness.peer_link, harness.call_flags, sink, keyframes, counters, harness.window}};
  kestrelio::MessageHandlers handlers{harness.service->handler(), media};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Rig* rig = new Rig;  // one handset for the whole run, as on a phone
  std::span<const uint8_t> input(data, size);
  while (input.size() >= 2) {
    const uint8_t selector = input[0];
    size_t length = input[1];
    if ((selector & 0x80) != 0) length *= 8;
    input = input.subspan(2);
    if (length > input.size()) length = input.size();
    const std::span<const uint8_t> message = input.first(length);
    input = input.subspan(length);

    if ((selector & 0x40) != 0) rig->harness.Connect((selector & 0x20) != 0);
    const NetAddress from = kSources[selector & 0x3];
    const Channel channel = (selector & 0x4) != 0 ? Channel::kTcp : Channel::kUdp;
    kestrelio::DispatchMessage(message, from, channel, /*socket=*/7, rig->handlers,
                               rig->harness.window);
  }
  // Bounded records across a million inputs.
  rig->harness.sender.Clear();
  rig->harness.window.ForgetRecords();
  return 0;
}
