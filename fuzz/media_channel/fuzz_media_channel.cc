// The video path of a call with what a peer (or anyone) sends: VideoData in any order
// and with any sequence numbers, loss reports and round-trip probes, through the
// intake's checks into the media channel, whose accepted pictures go to the real
// decoder and the picture ring. The display thread's part (freeing ring slots) is
// played between messages.
//
// Input: chunks of [selector][sequence: 2][length][length bytes]. With the selector's
// low bit set the bytes go out as they are (any message); otherwise they are the
// picture (NAL units; the builder writes the count) of a VideoData with that sequence.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "base/diag.h"
#include "media/decoder.h"
#include "net/transport/dispatch.h"
#include "net/transport/media_channel.h"
#include "net/wire/media_messages.h"
#include "tests/support/fake_window.h"

namespace {

using kestrelio::NetAddress;

class NullPort : public kestrelio::DatagramSender {
 public:
  kestrelio::SendResult Send(std::span<const uint8_t> message, const NetAddress&) override {
    return kestrelio::SendResult::Sent(message.size());
  }
};

class NoControl : public kestrelio::ControlMessageHandler {
 public:
  void OnControlMessage(const kestrelio::ReceivedMessage&) override {}
};

struct Rig {
  Rig() {
    call.in_call = true;
    call.video_active = true;
    peer.Set(NetAddress{0x7F000003, 8200});
    kestrelio::DecoderOpen(*decoder);
    media.ResetReceive();
  }
  kestrelio::DiagQuietScope quiet;
  kestrelio::FakeWindow window;
  NullPort port;
  kestrelio::PeerLink peer;
  kestrelio::CallFlags call;
  std::unique_ptr<kestrelio::DecoderState> decoder = std::make_unique<kestrelio::DecoderState>();
  kestrelio::KeyframeRequests keyframes;
  kestrelio::MediaReceiveCounters counters;
  kestrelio::MediaChannel media{
      kestrelio::MediaChannelContext{port, peer, call, *decoder, keyframes, counters, window}};
  NoControl control;
  kestrelio::MessageHandlers handlers{control, media};
  std::vector<uint8_t> message = std::vector<uint8_t>(kestrelio::kMaxMessageBytes);
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Rig* rig = new Rig;
  std::span<const uint8_t> input(data, size);
  while (input.size() >= 4) {
    const uint8_t selector = input[0];
    const auto sequence = static_cast<uint16_t>(input[1] | (input[2] << 8));
    size_t length = static_cast<size_t>(input[3]) * ((selector & 0x2) != 0 ? 16 : 1);
    input = input.subspan(4);
    if (length > input.size()) length = input.size();
    std::span<const uint8_t> bytes = input.first(length);
    input = input.subspan(length);

    std::span<const uint8_t> datagram = bytes;
    if ((selector & 0x1) == 0) {
      const size_t built = kestrelio::BuildVideoData(rig->message, sequence, bytes);
      if (built == 0) continue;
      datagram = std::span<const uint8_t>(rig->message.data(), built);
    }
    const NetAddress from =
        (selector & 0x4) != 0 ? NetAddress{0x0A000001, 9999} : NetAddress{0x7F000003, 8200};
    kestrelio::DispatchMessage(datagram, from, kestrelio::Channel::kUdp, -1, rig->handlers,
                               rig->window);
    for (auto& full : rig->decoder->ring.full) full.store(0);
  }
  rig->window.ForgetRecords();
  return 0;
}
