#include "net/transport/dispatch.h"

#include "base/diag.h"
#include "base/tick.h"

namespace kestrelio {

bool IsMediaType(uint8_t type) {
  switch (static_cast<MessageType>(type)) {
    case MessageType::kPacketLoss:
    case MessageType::kRttProbeReq:
    case MessageType::kRttProbeRsp:
    case MessageType::kVideoData:
      return true;
    default:
      return false;
  }
}

DispatchResult DispatchMessage(std::span<const uint8_t> message, const NetAddress& from,
                               Channel channel, int socket, MessageHandlers& handlers,
                               Window& /*window*/) {
  if (message.empty()) return DispatchResult::kDropped;
  const uint8_t version = message[kVersionOffset];
  if (version != kWireVersion) {
    if (channel == Channel::kUdp) {
      Diag("[%u] Undefined Receiving Data (%x) in UDP Socket", TickCountMs(), version);
    } else {
      const unsigned type = message.size() > kTypeOffset ? message[kTypeOffset] : 0u;
      Diag("[%u] Undefined Receiving Data (ver=0x%x,type=0x%x) in %d TCP Socket", TickCountMs(),
           version, type, socket);
    }
    return DispatchResult::kDropped;
  }
  auto header = ParseHeader(message);
  if (!header) return DispatchResult::kDropped;

  ReceivedMessage received{*header, message, from, channel};
  if (IsMediaType(header->type)) {
    if (channel == Channel::kTcp &&
        header->type != static_cast<uint8_t>(MessageType::kPacketLoss)) {
      // Diagnostic only: a box would hold the session's thread for what a stranger sent.
      Diag("[%u] Undefined Message Type (%u) in TCP Socket", TickCountMs(), header->type);
      return DispatchResult::kUndefined;
    }
    handlers.media.OnMediaMessage(received);
    return DispatchResult::kMedia;
  }
  handlers.control.OnControlMessage(received);
  return DispatchResult::kControl;
}

}  // namespace kestrelio
