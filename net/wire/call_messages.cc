#include "net/wire/call_messages.h"

#include <string_view>

#include "base/diag.h"

namespace kestrelio {

using wire_internal::BeginMessage;
using wire_internal::CheckMessage;
using wire_internal::FieldsIfSound;

namespace {

constexpr size_t kSetupReadEnd = 82;   // through the video height
constexpr size_t kEchoReadEnd = 44;    // through the public port
constexpr size_t kAnswerReadEnd = 76;  // through the user name
constexpr size_t kAnswerPictureEnd = 82;

size_t BuildSetup(std::span<uint8_t> out, MessageType type, const CallSetupFields& f) {
  bool request = type == MessageType::kCallSetupReq;
  if (!BeginMessage(out, type, kCallMessageBytes, request ? f.call_id : 1)) return 0;
  ByteWriter w(out);
  w.Text(6, f.phone);
  w.Text(22, f.public_address);
  w.U16Le(42, f.public_port);
  if (request) w.Text(44, f.user_name);
  w.U16Le(76, f.video_format);
  w.U16Le(78, f.video_width);
  w.U16Le(80, f.video_height);
  if (request) w.Chars(82, kSetupGreeting);  // the slot's NUL is already there
  return w.ok() ? kCallMessageBytes : 0;
}

std::optional<CallSetupFields> ParseSetup(std::span<const uint8_t> datagram, MessageType type) {
  auto header = CheckMessage(datagram, type, kSetupReadEnd);
  if (!header) return std::nullopt;
  ByteReader r(datagram);
  CallSetupFields f;
  f.call_id = header->word4;
  f.phone = r.Text<16>(6);
  f.public_address = r.Text<20>(22);
  f.public_port = r.U16Le(42);
  if (type == MessageType::kCallSetupReq) f.user_name = r.Text<32>(44);
  f.video_format = r.U16Le(76);
  f.video_width = r.U16Le(78);
  f.video_height = r.U16Le(80);
  return FieldsIfSound(r, type, datagram.size(), f);
}

size_t BuildEcho(std::span<uint8_t> out, MessageType type, const SetupEchoFields& f) {
  if (!BeginMessage(out, type, kCallMessageBytes, f.call_id)) return 0;
  ByteWriter w(out);
  w.Text(6, f.phone);
  w.Text(22, f.public_address);
  w.U16Le(42, f.public_port);
  return w.ok() ? kCallMessageBytes : 0;
}

std::optional<SetupEchoFields> ParseEcho(std::span<const uint8_t> datagram, MessageType type) {
  auto header = CheckMessage(datagram, type, kEchoReadEnd);
  if (!header) return std::nullopt;
  ByteReader r(datagram);
  SetupEchoFields f{header->word4, r.Text<16>(6), r.Text<20>(22), r.U16Le(42)};
  return FieldsIfSound(r, type, datagram.size(), f);
}

}  // namespace

size_t BuildCallSetupReq(std::span<uint8_t> out, const CallSetupFields& fields) {
  return BuildSetup(out, MessageType::kCallSetupReq, fields);
}
std::optional<CallSetupFields> ParseCallSetupReq(std::span<const uint8_t> datagram) {
  return ParseSetup(datagram, MessageType::kCallSetupReq);
}
size_t BuildCallSetupDummyReq(std::span<uint8_t> out, const CallSetupFields& fields) {
  return BuildSetup(out, MessageType::kCallSetupDummyReq, fields);
}
std::optional<CallSetupFields> ParseCallSetupDummyReq(std::span<const uint8_t> datagram) {
  return ParseSetup(datagram, MessageType::kCallSetupDummyReq);
}

PictureSize PeerPictureSize(uint16_t video_format, uint16_t width, uint16_t height) {
  if (video_format != kVideoFormatWithSize || width == 0 || height == 0 ||
      width > kMaxPeerVideoWidth || height > kMaxPeerVideoHeight) {
    return PictureSize{};
  }
  return PictureSize{width, height};
}

SetupEchoFields EchoOf(const CallSetupFields& request) {
  return SetupEchoFields{request.call_id, request.phone, request.public_address,
                         request.public_port};
}
size_t BuildCallSetupReqAck(std::span<uint8_t> out, const SetupEchoFields& fields) {
  return BuildEcho(out, MessageType::kCallSetupReqAck, fields);
}
std::optional<SetupEchoFields> ParseCallSetupReqAck(std::span<const uint8_t> datagram) {
  return ParseEcho(datagram, MessageType::kCallSetupReqAck);
}
size_t BuildCallSetupDummyRsp(std::span<uint8_t> out, const SetupEchoFields& fields) {
  return BuildEcho(out, MessageType::kCallSetupDummyRsp, fields);
}
std::optional<SetupEchoFields> ParseCallSetupDummyRsp(std::span<const uint8_t> datagram) {
  return ParseEcho(datagram, MessageType::kCallSetupDummyRsp);
}

bool IsAnswerType(uint8_t type) {
  switch (static_cast<MessageType>(type)) {
    case MessageType::kCallAcceptRsp:
    case MessageType::kCallRejectRsp:
    case MessageType::kCallBusyRsp:
    case MessageType::kCallNoAnswerRsp:
    case MessageType::kCallCancelReq:
      return true;
    default:
      return false;
  }
}

size_t BuildCallAnswer(std::span<uint8_t> out, const AnswerFields& fields) {
  if (!IsAnswerType(static_cast<uint8_t>(fields.type))) return 0;
  if (!BeginMessage(out, fields.type, kCallMessageBytes, 1)) return 0;
  ByteWriter w(out);
  w.Text(6, fields.phone);
  w.Text(44, fields.user_name);
  w.U16Le(76, fields.video_format);
  w.U16Le(78, fields.video_width);
  w.U16Le(80, fields.video_height);
  // 24 characters fill offsets 82..105 exactly; there is no room for a NUL.
  if (fields.type != MessageType::kCallBusyRsp) w.Chars(82, kAnswerText);
  return w.ok() ? kCallMessageBytes : 0;
}

std::optional<AnswerFields> ParseCallAnswer(std::span<const uint8_t> datagram) {
  auto header = ParseHeader(datagram);
  if (!header) return std::nullopt;
  if (!IsAnswerType(header->type)) {
    Diag("wire: expected an answer but got type %u", header->type);
    return std::nullopt;
  }
  auto type = static_cast<MessageType>(header->type);
  if (datagram.size() < kAnswerReadEnd) {
    Diag("wire: dropped %s of %zu bytes, its fields need %zu", MessageTypeName(header->type),
         datagram.size(), kAnswerReadEnd);
    return std::nullopt;
  }
  ByteReader r(datagram);
  AnswerFields f;
  f.type = type;
  f.phone = r.Text<16>(6);
  f.user_name = r.Text<32>(44);
  if (datagram.size() >= kAnswerPictureEnd) {
    f.video_format = r.U16Le(76);
    f.video_width = r.U16Le(78);
    f.video_height = r.U16Le(80);
  }
  return FieldsIfSound(r, type, datagram.size(), f);
}

size_t BuildCallCancelReq(std::span<uint8_t> out) {
  return BeginMessage(out, MessageType::kCallCancelReq, kHeaderBytes, 1) ? kHeaderBytes : 0;
}

std::optional<CancelFields> ParseCallCancelReq(std::span<const uint8_t> datagram) {
  auto header = CheckMessage(datagram, MessageType::kCallCancelReq, kHeaderBytes);
  if (!header) return std::nullopt;
  if (datagram.size() == kHeaderBytes) return CancelFields{};
  auto answer = ParseCallAnswer(datagram);
  if (!answer) return std::nullopt;
  return CancelFields{true, answer->phone, answer->user_name};
}

size_t BuildCallReleaseReq(std::span<uint8_t> out) {
  return BeginMessage(out, MessageType::kCallReleaseReq, kCallMessageBytes, 1) ? kCallMessageBytes
                                                                               : 0;
}

bool ParseCallReleaseReq(std::span<const uint8_t> datagram) {
  return CheckMessage(datagram, MessageType::kCallReleaseReq, kHeaderBytes).has_value();
}

}  // namespace kestrelio
