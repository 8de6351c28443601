// Message framing shared by every control, media and presence message.
//
//   offset 0  u8     version, always 0x11
//   offset 1  u8     type (MessageType)
//   offset 2  u16le  length of the whole message, header included
//   offset 4  u16le  word4: call ID, sequence number, counter or the constant 1
//
// Integers are little-endian everywhere except the frame byte count of VideoData.
// Builders return the message length, or 0 when the output buffer is too small; they
// zero the message first, so every byte they do not name is zero. Parsers return
// std::nullopt and write one diagnostic line when a datagram is not a sound message of
// their type: too short for the fields read, a length field that differs from the
// datagram size, or a text slot without a NUL inside it. Parsers never allocate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "base/byte_io.h"

namespace kestrelio {

inline constexpr uint8_t kWireVersion = 0x11;
inline constexpr size_t kHeaderBytes = 6;
inline constexpr size_t kVersionOffset = 0;
inline constexpr size_t kTypeOffset = 1;
// Largest message: the size of every receive and transmit buffer.
inline constexpr size_t kMaxMessageBytes = 32768;
inline constexpr uint16_t kPresencePort = 8238;
inline constexpr uint16_t kHandsetUdpPort = 8200;
inline constexpr uint16_t kHandsetTcpPort = 8100;

enum class MessageType : uint8_t {
  kCallSetupReq = 1,
  kCallAcceptRsp = 2,
  kCallRejectRsp = 3,
  kCallBusyRsp = 4,
  kCallNoAnswerRsp = 5,
  kCallSetupReqAck = 6,
  kCallSetupDummyReq = 7,
  kCallSetupDummyRsp = 8,
  kCallReleaseReq = 17,
  kPacketLoss = 33,
  kRttProbeReq = 34,
  kRttProbeRsp = 35,
  kVideoData = 49,
  kChatText = 50,
  kVideoPauseInd = 51,
  kCallCancelReq = 52,
  kKeepAlive = 65,
  kUserListInd = 66,
  kCallRequest = 67,
  kCallConnectInd = 68,
  kCallSetupReport = 69,
};

// The message's name as used in diagnostics, or nullptr for an undefined type code.
const char* MessageTypeName(uint8_t type);

struct Header {
  uint8_t type = 0;  // raw: undefined codes are reported by the dispatcher, not here
  uint16_t length = 0;
  uint16_t word4 = 0;
};

// Accepts a datagram of at least 6 bytes with version 0x11 whose length field equals
// the datagram size. Anything else is rejected with a diagnostic.
std::optional<Header> ParseHeader(std::span<const uint8_t> datagram);

namespace wire_internal {

// Zeroes `length` bytes of `out` and writes the header. False when `out` is too small.
bool BeginMessage(std::span<uint8_t> out, MessageType type, size_t length, uint16_t word4);

// ParseHeader plus: the type is `type` and the datagram holds at least `min_length`
// bytes (the end of the last field the receiver reads).
std::optional<Header> CheckMessage(std::span<const uint8_t> datagram, MessageType type,
                                   size_t min_length);

// Reports a message whose fields were out of bounds or whose text slot lacked a NUL.
void ReportBadFields(MessageType type, size_t size);

// `fields` when every read of `r` was sound, else reports the message (ReportBadFields)
// and gives std::nullopt: the last step of every parser that reads fixed fields.
template <typename Fields>
std::optional<Fields> FieldsIfSound(const ByteReader& r, MessageType type, size_t size,
                                    const Fields& fields) {
  if (!r.ok()) {
    ReportBadFields(type, size);
    return std::nullopt;
  }
  return fields;
}

}  // namespace wire_internal
}  // namespace kestrelio
