#include "net/wire/header.h"

#include <algorithm>

#include "base/diag.h"

namespace kestrelio {

const char* MessageTypeName(uint8_t type) {
  switch (static_cast<MessageType>(type)) {
    case MessageType::kCallSetupReq:
      return "CallSetupReq";
    case MessageType::kCallAcceptRsp:
      return "CallAcceptRsp";
    case MessageType::kCallRejectRsp:
      return "CallRejectRsp";
    case MessageType::kCallBusyRsp:
      return "CallBusyRsp";
    case MessageType::kCallNoAnswerRsp:
      return "CallNoAnswerRsp";
    case MessageType::kCallSetupReqAck:
      return "CallSetupReqAck";
    case MessageType::kCallSetupDummyReq:
      return "CallSetupDummyReq";
    case MessageType::kCallSetupDummyRsp:
      return "CallSetupDummyRsp";
    case MessageType::kCallReleaseReq:
      return "CallReleaseReq";
    case MessageType::kPacketLoss:
      return "PacketLoss";
    case MessageType::kRttProbeReq:
      return "RttProbeReq";
    case MessageType::kRttProbeRsp:
      return "RttProbeRsp";
    case MessageType::kVideoData:
      return "VideoData";
    case MessageType::kChatText:
      return "ChatText";
    case MessageType::kVideoPauseInd:
      return "VideoPauseInd";
    case MessageType::kCallCancelReq:
      return "CallCancelReq";
    case MessageType::kKeepAlive:
      return "KeepAlive";
    case MessageType::kUserListInd:
      return "UserListInd";
    case MessageType::kCallRequest:
      return "CallRequest";
    case MessageType::kCallConnectInd:
      return "CallConnectInd";
    case MessageType::kCallSetupReport:
      return "CallSetupReport";
  }
  return nullptr;
}

std::optional<Header> ParseHeader(std::span<const uint8_t> datagram) {
  if (datagram.size() < kHeaderBytes) {
    Diag("wire: dropped %zu-byte datagram, shorter than the %zu-byte header", datagram.size(),
         kHeaderBytes);
    return std::nullopt;
  }
  ByteReader in(datagram);
  if (in.U8(0) != kWireVersion) {
    Diag("wire: dropped datagram with version 0x%02x (type 0x%02x)", in.U8(0), in.U8(1));
    return std::nullopt;
  }
  Header header{in.U8(1), in.U16Le(2), in.U16Le(4)};
  if (header.length != datagram.size()) {
    Diag("wire: dropped type %u, length field %u but %zu bytes arrived", header.type, header.length,
         datagram.size());
    return std::nullopt;
  }
  return header;
}

namespace wire_internal {

bool BeginMessage(std::span<uint8_t> out, MessageType type, size_t length, uint16_t word4) {
  if (out.size() < length || length > kMaxMessageBytes) return false;
  std::fill_n(out.begin(), length, uint8_t{0});
  ByteWriter w(out);
  w.U8(0, kWireVersion);
  w.U8(1, static_cast<uint8_t>(type));
  w.U16Le(2, static_cast<uint16_t>(length));
  w.U16Le(4, word4);
  return w.ok();
}

std::optional<Header> CheckMessage(std::span<const uint8_t> datagram, MessageType type,
                                   size_t min_length) {
  auto header = ParseHeader(datagram);
  if (!header) return std::nullopt;
  if (header->type != static_cast<uint8_t>(type)) {
    Diag("wire: expected %s (type %u) but got type %u", MessageTypeName(uint8_t(type)),
         unsigned(type), header->type);
    return std::nullopt;
  }
  if (datagram.size() < min_length) {
    Diag("wire: dropped %s of %zu bytes, its fields need %zu", MessageTypeName(uint8_t(type)),
         datagram.size(), min_length);
    return std::nullopt;
  }
  return header;
}

void ReportBadFields(MessageType type, size_t size) {
  Diag("wire: dropped %s of %zu bytes, a text slot has no terminating NUL",
       MessageTypeName(static_cast<uint8_t>(type)), size);
}

}  // namespace wire_internal
}  // namespace kestrelio
