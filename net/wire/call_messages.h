// Call set-up messages between two handsets (UDP port 8200; a TCP session may carry
// them too). Layout of each message in its comment; offsets from the message start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "net/wire/endpoint.h"
#include "net/wire/header.h"

namespace kestrelio {

inline constexpr size_t kCallMessageBytes = 106;
inline constexpr uint16_t kVideoFormatWithSize = 1005;
inline constexpr uint16_t kDefaultVideoWidth = 96;
inline constexpr uint16_t kDefaultVideoHeight = 80;
// The largest peer picture the receive side holds (a picture ring slot).
inline constexpr uint16_t kMaxPeerVideoWidth = 320;
inline constexpr uint16_t kMaxPeerVideoHeight = 240;
inline constexpr char kSetupGreeting[] = "hello, are you there?";
inline constexpr char kAnswerText[] = "welcome! enjoy the call!";

// CallSetupReq (1, 106 bytes), caller to callee, repeated with the same call ID:
//   4 call ID | 6 phone[16] | 22 public address[20] | 42 public port | 44 user name[32]
//   76 video format (1005) | 78 width | 80 height | 82 "hello, are you there?" | 104 zero
// CallSetupDummyReq (7, 106 bytes), callee to caller to open the path through address
// translators: the same layout with word4 1, no user name and no greeting.
// Parsers read up to offset 82; the dummy parser leaves user_name empty and call_id 1.
struct CallSetupFields {
  uint16_t call_id = 0;
  PhoneNumber phone;
  AddressText public_address;
  uint16_t public_port = 0;
  UserName user_name;
  uint16_t video_format = kVideoFormatWithSize;
  uint16_t video_width = kDefaultVideoWidth;
  uint16_t video_height = kDefaultVideoHeight;

  bool operator==(const CallSetupFields&) const = default;
};
size_t BuildCallSetupReq(std::span<uint8_t> out, const CallSetupFields& fields);
std::optional<CallSetupFields> ParseCallSetupReq(std::span<const uint8_t> datagram);
size_t BuildCallSetupDummyReq(std::span<uint8_t> out, const CallSetupFields& fields);
std::optional<CallSetupFields> ParseCallSetupDummyReq(std::span<const uint8_t> datagram);

struct PictureSize {
  uint16_t width = kDefaultVideoWidth;
  uint16_t height = kDefaultVideoHeight;
  bool operator==(const PictureSize&) const = default;
};
// The peer's picture size: the sizes given with format 1005, else 96 x 80. Sizes of zero
// or larger than a picture slot (320 x 240) also give 96 x 80 rather than overrunning it.
PictureSize PeerPictureSize(uint16_t video_format, uint16_t width, uint16_t height);

// CallSetupReqAck (6) and CallSetupDummyRsp (8), 106 bytes: offsets 4 to 43 of the
// request being answered, copied (call ID, phone, public address, public port). They go
// to the public address inside the request, not to the datagram's source.
struct SetupEchoFields {
  uint16_t call_id = 0;
  PhoneNumber phone;
  AddressText public_address;
  uint16_t public_port = 0;

  bool operator==(const SetupEchoFields&) const = default;
};
SetupEchoFields EchoOf(const CallSetupFields& request);
size_t BuildCallSetupReqAck(std::span<uint8_t> out, const SetupEchoFields& fields);
std::optional<SetupEchoFields> ParseCallSetupReqAck(std::span<const uint8_t> datagram);
size_t BuildCallSetupDummyRsp(std::span<uint8_t> out, const SetupEchoFields& fields);
std::optional<SetupEchoFields> ParseCallSetupDummyRsp(std::span<const uint8_t> datagram);

// Answers, 106 bytes: CallAcceptRsp (2), CallRejectRsp (3), CallNoAnswerRsp (5), the
// answer form of CallCancelReq (52), and CallBusyRsp (4, sent only by the presence server):
//   1 answer type | 4 constant 1 | 6 phone[16] | 44 user name[32]
//   82 the 24 characters "welcome! enjoy the call!" with no NUL: the length ends there.
// CallBusyRsp carries no welcome text. The parser needs the fields up to offset 76 and
// reads the picture fields at 76..81 when present (zero otherwise; senders leave them 0).
struct AnswerFields {
  MessageType type = MessageType::kCallAcceptRsp;
  PhoneNumber phone;
  UserName user_name;
  uint16_t video_format = 0;
  uint16_t video_width = 0;
  uint16_t video_height = 0;

  bool operator==(const AnswerFields&) const = default;
};
bool IsAnswerType(uint8_t type);
size_t BuildCallAnswer(std::span<uint8_t> out, const AnswerFields& fields);
// Accepts types 2, 3, 4, 5 and the 106-byte form of 52.
std::optional<AnswerFields> ParseCallAnswer(std::span<const uint8_t> datagram);

// CallCancelReq (52) from a caller whose user cancelled a ringing call: 6 bytes, word4 1.
// The parser takes both forms: the 6-byte one (no name) and the answer form (with the
// name at 44); a length between 7 and 75 cannot hold the name and is rejected.
struct CancelFields {
  bool answer_form = false;
  PhoneNumber phone;   // answer form only
  UserName user_name;  // answer form only
};
size_t BuildCallCancelReq(std::span<uint8_t> out);
std::optional<CancelFields> ParseCallCancelReq(std::span<const uint8_t> datagram);

// CallReleaseReq (17, 106 bytes): word4 1, every byte from offset 6 on zero.
size_t BuildCallReleaseReq(std::span<uint8_t> out);
bool ParseCallReleaseReq(std::span<const uint8_t> datagram);

}  // namespace kestrelio
