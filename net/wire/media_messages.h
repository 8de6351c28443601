// Messages of a running call, handset to handset: loss reports, round-trip probes,
// video, chat and the pause indication.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "net/wire/header.h"

namespace kestrelio {

// PacketLoss (33, 10 bytes), video receiver to sender on a sequence mismatch:
//   4 expected | 6 received (R) | 8 expected (E)
struct PacketLossFields {
  uint16_t received = 0;
  uint16_t expected = 0;
  bool operator==(const PacketLossFields&) const = default;
};
inline constexpr size_t kPacketLossBytes = 10;
size_t BuildPacketLoss(std::span<uint8_t> out, const PacketLossFields& fields);
std::optional<PacketLossFields> ParsePacketLoss(std::span<const uint8_t> datagram);

// RttProbeReq (34, 14 bytes): 4 probe | 6 probe | 8 tick >> 16 | 10 tick & 0xffff | 12 zero
// RttProbeRsp (35, 12 bytes): the echo, probe number from offset 6 of the request at 4
// and 6, tick halves unchanged. Both parsers read offsets 6 to 11.
struct RttProbeFields {
  uint16_t probe_number = 0;
  uint32_t tick_ms = 0;  // the prober's tick count when it sent the probe
  bool operator==(const RttProbeFields&) const = default;
};
inline constexpr size_t kRttProbeReqBytes = 14;
inline constexpr size_t kRttProbeRspBytes = 12;
size_t BuildRttProbeReq(std::span<uint8_t> out, const RttProbeFields& fields);
std::optional<RttProbeFields> ParseRttProbeReq(std::span<const uint8_t> datagram);
size_t BuildRttProbeRsp(std::span<uint8_t> out, const RttProbeFields& request);
std::optional<RttProbeFields> ParseRttProbeRsp(std::span<const uint8_t> datagram);
// Round-trip time from an answer; tick counts wrap, so the difference does too.
inline uint32_t RoundTripMs(uint32_t now_ms, const RttProbeFields& answer) {
  return now_ms - answer.tick_ms;
}

// VideoData (49), one encoded picture per message:
//   2 length = 10 + frame bytes | 4 sequence number | 6 frame bytes, big-endian u32
//   10 the frame: H.264 NAL units with Annex B start codes, back to back
// To avoid copying a frame, the encoder writes it straight into VideoDataFrameSlot(buffer)
// and then calls FinishVideoData with its size. The part after offset 6 is limited to
// 32762 bytes: a larger frame is cut, its count no longer matches the length and every
// receiver drops it. That is how peers have always behaved, so it is kept.
inline constexpr size_t kVideoDataHeaderBytes = 10;
inline constexpr size_t kMaxVideoAfterCount = 32762;  // offsets 6 onward
inline constexpr size_t kMaxVideoFrameBytes = kMaxMessageBytes - kVideoDataHeaderBytes;
std::span<uint8_t> VideoDataFrameSlot(std::span<uint8_t> out);
// Writes the 10 header bytes in front of a frame of `frame_bytes` already in the slot.
size_t FinishVideoData(std::span<uint8_t> out, uint16_t sequence, size_t frame_bytes);
// Copies `frame` into place, then FinishVideoData.
size_t BuildVideoData(std::span<uint8_t> out, uint16_t sequence, std::span<const uint8_t> frame);
// A message with a sound header parses even when its count disagrees with its length:
// the receiver still checks its sequence number. Such a frame has frame_valid false and
// an empty frame span. A length of exactly 10 is a valid empty frame.
struct VideoDataFields {
  uint16_t sequence = 0;
  uint32_t declared_bytes = 0;           // the big-endian count as received
  std::span<const uint8_t> frame;        // into the datagram
  std::span<const uint8_t> after_count;  // offsets 6 onward: count then frame (the decoder's input)
  bool frame_valid = false;
};
std::optional<VideoDataFields> ParseVideoData(std::span<const uint8_t> datagram);

// ChatText (50): 4 constant 1 | 6 the line in UTF-16LE with its 2-byte NUL, at most
// 255 characters. A message of length 6 carries no text. The parser copies the line into
// the fixed array (no allocation) and rejects a text without a NUL character.
inline constexpr size_t kMaxChatChars = 255;
struct ChatTextFields {
  bool has_text = false;
  std::array<char16_t, kMaxChatChars + 1> text{};  // NUL-terminated
  size_t length = 0;                               // characters before the NUL
  std::u16string_view view() const { return std::u16string_view(text.data(), length); }
};
// Longer lines are cut to 255 characters.
size_t BuildChatText(std::span<uint8_t> out, std::u16string_view line);
std::optional<ChatTextFields> ParseChatText(std::span<const uint8_t> datagram);

// VideoPauseInd (51, 7 bytes): 4 constant 1 | 6 '1' paused, '0' resumed (anything but
// '1' reads as resumed).
inline constexpr size_t kVideoPauseIndBytes = 7;
size_t BuildVideoPauseInd(std::span<uint8_t> out, bool paused);
std::optional<bool> ParseVideoPauseInd(std::span<const uint8_t> datagram);

}  // namespace kestrelio
