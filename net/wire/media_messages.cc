#include "net/wire/media_messages.h"

#include <algorithm>

#include "base/diag.h"

namespace kestrelio {

using wire_internal::BeginMessage;
using wire_internal::CheckMessage;

size_t BuildPacketLoss(std::span<uint8_t> out, const PacketLossFields& fields) {
  if (!BeginMessage(out, MessageType::kPacketLoss, kPacketLossBytes, fields.expected)) return 0;
  ByteWriter w(out);
  w.U16Le(6, fields.received);
  w.U16Le(8, fields.expected);
  return w.ok() ? kPacketLossBytes : 0;
}

std::optional<PacketLossFields> ParsePacketLoss(std::span<const uint8_t> datagram) {
  if (!CheckMessage(datagram, MessageType::kPacketLoss, kPacketLossBytes)) return std::nullopt;
  ByteReader r(datagram);
  return PacketLossFields{r.U16Le(6), r.U16Le(8)};
}

namespace {

constexpr size_t kProbeReadEnd = 12;

size_t BuildProbe(std::span<uint8_t> out, MessageType type, size_t length,
                  const RttProbeFields& fields) {
  if (!BeginMessage(out, type, length, fields.probe_number)) return 0;
  ByteWriter w(out);
  w.U16Le(6, fields.probe_number);
  w.U16Le(8, static_cast<uint16_t>(fields.tick_ms >> 16));
  w.U16Le(10, static_cast<uint16_t>(fields.tick_ms));
  return w.ok() ? length : 0;
}

std::optional<RttProbeFields> ParseProbe(std::span<const uint8_t> datagram, MessageType type) {
  if (!CheckMessage(datagram, type, kProbeReadEnd)) return std::nullopt;
  ByteReader r(datagram);
  uint32_t tick = (uint32_t{r.U16Le(8)} << 16) | r.U16Le(10);
  return RttProbeFields{r.U16Le(6), tick};
}

}  // namespace

size_t BuildRttProbeReq(std::span<uint8_t> out, const RttProbeFields& fields) {
  return BuildProbe(out, MessageType::kRttProbeReq, kRttProbeReqBytes, fields);
}
std::optional<RttProbeFields> ParseRttProbeReq(std::span<const uint8_t> datagram) {
  return ParseProbe(datagram, MessageType::kRttProbeReq);
}
size_t BuildRttProbeRsp(std::span<uint8_t> out, const RttProbeFields& request) {
  return BuildProbe(out, MessageType::kRttProbeRsp, kRttProbeRspBytes, request);
}
std::optional<RttProbeFields> ParseRttProbeRsp(std::span<const uint8_t> datagram) {
  return ParseProbe(datagram, MessageType::kRttProbeRsp);
}

std::span<uint8_t> VideoDataFrameSlot(std::span<uint8_t> out) {
  if (out.size() <= kVideoDataHeaderBytes) return {};
  return out.subspan(kVideoDataHeaderBytes,
                     std::min(out.size() - kVideoDataHeaderBytes, kMaxVideoFrameBytes));
}

size_t FinishVideoData(std::span<uint8_t> out, uint16_t sequence, size_t frame_bytes) {
  size_t after_count = std::min(4 + frame_bytes, kMaxVideoAfterCount);
  size_t length = 6 + after_count;
  if (out.size() < length) return 0;
  // Only the header is written: the frame is already in place.
  ByteWriter w(out);
  w.U8(0, kWireVersion);
  w.U8(1, static_cast<uint8_t>(MessageType::kVideoData));
  w.U16Le(2, static_cast<uint16_t>(length));
  w.U16Le(4, sequence);
  w.U32Be(6, static_cast<uint32_t>(std::min<size_t>(frame_bytes, UINT32_MAX)));
  return w.ok() ? length : 0;
}

size_t BuildVideoData(std::span<uint8_t> out, uint16_t sequence, std::span<const uint8_t> frame) {
  auto slot = VideoDataFrameSlot(out);
  size_t copied = std::min(frame.size(), slot.size());
  std::copy_n(frame.begin(), copied, slot.begin());
  if (copied < frame.size() && copied + kVideoDataHeaderBytes < kMaxMessageBytes) return 0;
  return FinishVideoData(out, sequence, frame.size());
}

std::optional<VideoDataFields> ParseVideoData(std::span<const uint8_t> datagram) {
  auto header = CheckMessage(datagram, MessageType::kVideoData, kVideoDataHeaderBytes);
  if (!header) return std::nullopt;
  ByteReader r(datagram);
  VideoDataFields f;
  f.sequence = header->word4;
  f.declared_bytes = r.U32Be(6);
  f.after_count = datagram.subspan(6);
  size_t frame_bytes = datagram.size() - kVideoDataHeaderBytes;
  if (frame_bytes == 0) {
    f.frame_valid = true;  // an empty picture: nothing to decode, whatever the count says
  } else if (f.declared_bytes == frame_bytes) {
    f.frame_valid = true;
    f.frame = datagram.subspan(kVideoDataHeaderBytes);
  } else {
    Diag("wire: VideoData %u counts %u frame bytes but carries %zu; frame dropped", f.sequence,
         f.declared_bytes, frame_bytes);
  }
  return f;
}

size_t BuildChatText(std::span<uint8_t> out, std::u16string_view line) {
  size_t chars = std::min(line.size(), kMaxChatChars);
  size_t nul = line.find(u'\0');
  if (nul != std::u16string_view::npos) chars = std::min(chars, nul);
  size_t length = kHeaderBytes + 2 * (chars + 1);
  if (!BeginMessage(out, MessageType::kChatText, length, 1)) return 0;
  ByteWriter w(out);
  for (size_t i = 0; i < chars; ++i) w.U16Le(kHeaderBytes + 2 * i, line[i]);
  return w.ok() ? length : 0;  // the closing NUL is already zero
}

std::optional<ChatTextFields> ParseChatText(std::span<const uint8_t> datagram) {
  if (!CheckMessage(datagram, MessageType::kChatText, kHeaderBytes)) return std::nullopt;
  ChatTextFields f;
  if (datagram.size() == kHeaderBytes) return f;
  ByteReader r(datagram);
  size_t available = (datagram.size() - kHeaderBytes) / 2;
  size_t limit = std::min(available, kMaxChatChars + 1);
  for (size_t i = 0; i < limit; ++i) {
    char16_t c = r.U16Le(kHeaderBytes + 2 * i);
    if (c == u'\0') {
      f.has_text = true;
      f.length = i;
      return f;
    }
    f.text[i] = c;
  }
  Diag("wire: dropped ChatText of %zu bytes, no NUL within %zu characters", datagram.size(), limit);
  return std::nullopt;
}

size_t BuildVideoPauseInd(std::span<uint8_t> out, bool paused) {
  if (!BeginMessage(out, MessageType::kVideoPauseInd, kVideoPauseIndBytes, 1)) return 0;
  out[6] = paused ? '1' : '0';
  return kVideoPauseIndBytes;
}

std::optional<bool> ParseVideoPauseInd(std::span<const uint8_t> datagram) {
  if (!CheckMessage(datagram, MessageType::kVideoPauseInd, kVideoPauseIndBytes)) {
    return std::nullopt;
  }
  return datagram[6] == '1';
}

}  // namespace kestrelio
