// Every wire parser over the same untrusted bytes. A parser that accepts a message must
// produce fields that build back into a message it accepts again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "base/diag.h"
#include "net/wire/call_messages.h"
#include "net/wire/media_messages.h"
#include "net/wire/presence_messages.h"

namespace kestrelio {
namespace {

template <typename Parse, typename Build>
void RoundTrip(std::span<const uint8_t> data, Parse parse, Build build) {
  auto fields = parse(data);
  if (!fields) return;
  static std::vector<uint8_t> out(kMaxMessageBytes);
  size_t length = build(std::span<uint8_t>(out), *fields);
  if (length == 0 || !parse(std::span<const uint8_t>(out).first(length))) std::abort();
}

}  // namespace
}  // namespace kestrelio

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kestrelio;
  static DiagQuietScope quiet;
  std::span<const uint8_t> in(data, size);
  ParseHeader(in);
  RoundTrip(in, ParseCallSetupReq, BuildCallSetupReq);
  RoundTrip(in, ParseCallSetupDummyReq, BuildCallSetupDummyReq);
  RoundTrip(in, ParseCallSetupReqAck, BuildCallSetupReqAck);
  RoundTrip(in, ParseCallSetupDummyRsp, BuildCallSetupDummyRsp);
  RoundTrip(in, ParseCallAnswer, BuildCallAnswer);
  ParseCallCancelReq(in);
  ParseCallReleaseReq(in);
  RoundTrip(in, ParsePacketLoss, BuildPacketLoss);
  RoundTrip(in, ParseRttProbeReq, BuildRttProbeReq);
  RoundTrip(in, ParseRttProbeRsp, BuildRttProbeRsp);
  if (auto video = ParseVideoData(in); video && video->frame_valid) {
    static std::vector<uint8_t> out(kMaxMessageBytes);
    size_t length = BuildVideoData(out, video->sequence, video->frame);
    if (length != size) std::abort();
  }
  if (auto chat = ParseChatText(in); chat && chat->has_text) {
    static std::vector<uint8_t> out(kMaxMessageBytes);
    size_t length = BuildChatText(out, chat->view());
    auto again = ParseChatText(std::span<const uint8_t>(out).first(length));
    if (!again || again->view() != chat->view()) std::abort();
  }
  ParseVideoPauseInd(in);
  RoundTrip(in, ParseKeepAlive, BuildKeepAlive);
  RoundTrip(in, ParseUserListInd, BuildUserListInd);
  RoundTrip(in, ParseCallRequest, BuildCallRequest);
  RoundTrip(in, ParseCallConnectInd, BuildCallConnectInd);
  RoundTrip(in, ParseCallSetupReport, BuildCallSetupReport);
  return 0;
}
