#include "net/transport/media_channel.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "base/diag.h"
#include "base/tick.h"
#include "net/socket/socket_address.h"
#include "net/wire/media_messages.h"

namespace kestrelio {

MediaChannel::MediaChannel(const MediaChannelContext& context)
    : context_(context), transmit_(new (std::nothrow) uint8_t[kMaxMessageBytes]()) {}

void MediaChannel::ResetReceive() {
  expected_.store(1, std::memory_order_relaxed);
  received_.store(0, std::memory_order_relaxed);
  context_.counters.Clear();
  if (context_.statistics != nullptr) context_.statistics->Reset(TickCountMs());
}

void MediaChannel::SendVideoPayload(std::span<const uint8_t> payload, uint16_t sequence) {
  if (payload.size() < kPayloadCountBytes) {
    Diag("media: video payload of %zu bytes has no count; not sent", payload.size());
    return;
  }
  if (!transmit_) return;  // start-up said "Cannot allocate data xmit buffer"
  // The count travels as the encoder wrote it; a picture beyond 32762 bytes after the
  // header is cut here and then refused by the receiver's count check.
  std::span<uint8_t> buffer(transmit_.get(), kMaxMessageBytes);
  std::span<uint8_t> slot = VideoDataFrameSlot(buffer);
  const std::span<const uint8_t> frame = payload.subspan(kPayloadCountBytes);
  const size_t copied = std::min(frame.size(), slot.size());
  std::copy_n(frame.begin(), copied, slot.begin());
  const size_t length = FinishVideoData(buffer, sequence, frame.size());
  // FinishVideoData writes the count from the frame size; the encoder's own count goes
  // out instead, as it came.
  std::copy_n(payload.begin(), kPayloadCountBytes, buffer.begin() + kHeaderBytes);
  const SendResult sent = context_.port.Send(buffer.first(length), context_.peer.Get());
  if (MediaStatistics* statistics = context_.statistics; statistics != nullptr && sent.whole()) {
    MediaStatistics::Count(statistics->frames_sent);
    statistics->sent.Add(TickCountMs(), static_cast<uint32_t>(length - kVideoDataHeaderBytes));
  }
  if (!sent.whole()) {
    char text[48];
    std::snprintf(text, sizeof text, "Data Sending Error (%ld)", sent.SendtoReturn());
    // Modal on the encoder's thread: encoding waits until the box is dismissed.
    context_.window.ShowMessageBox(text, "ERROR", MessageBoxButtons::kOk);
  }
}

bool MediaChannel::FromPeerInCall(const ReceivedMessage& message) {
  if (!context_.call.in_call.load(std::memory_order_acquire)) {
    drops_.not_in_call.fetch_add(1, std::memory_order_relaxed);
    return false;
  }
  if (!context_.peer.IsPeer(message.from.ipv4)) {
    drops_.not_peer.fetch_add(1, std::memory_order_relaxed);
    Diag("media: type %u from %s:%u, not the peer: dropped", message.header.type,
         DottedAddress(message.from.ipv4).c_str(), message.from.port);
    return false;
  }
  return true;
}

void MediaChannel::OnMediaMessage(const ReceivedMessage& message) {
  if (!FromPeerInCall(message)) return;
  switch (static_cast<MessageType>(message.header.type)) {
    case MessageType::kVideoData:
      ReceiveVideo(message.datagram);
      break;
    case MessageType::kPacketLoss:
      ReceivePacketLoss(message.datagram);
      break;
    case MessageType::kRttProbeReq:
      AnswerRttProbe(message.datagram);
      break;
    case MessageType::kRttProbeRsp:
      ReceiveRttAnswer(message.datagram);
      break;
    default:
      Diag("media: type %u is not a video path message; dropped", message.header.type);
      break;
  }
}

void MediaChannel::ReceiveVideo(std::span<const uint8_t> datagram) {
  auto video = ParseVideoData(datagram);
  if (!video) return;
  MediaReceiveCounters& counters = context_.counters;

  const uint16_t expected = expected_.load(std::memory_order_relaxed);
  const uint32_t received = received_.load(std::memory_order_relaxed);
  if (video->sequence != expected) {
    Diag("[%u] [%uth PKT] SN Mismatch(E:%u,R:%u)", TickCountMs(), received, expected,
         video->sequence);
    const size_t length =
        BuildPacketLoss(reply_buffer_, PacketLossFields{video->sequence, expected});
    context_.port.Send(std::span<const uint8_t>(reply_buffer_).first(length), context_.peer.Get());
    counters.packets_missing.fetch_add(1, std::memory_order_relaxed);
    if (context_.statistics != nullptr) MediaStatistics::Count(context_.statistics->packets_lost);
  }
  // A late or repeated number is treated like a gap: counting resumes after it.
  expected_.store(static_cast<uint16_t>(video->sequence + 1), std::memory_order_relaxed);

  const size_t frame_bytes = datagram.size() - kVideoDataHeaderBytes;
  counters.payload_bytes_received.fetch_add(static_cast<uint32_t>(frame_bytes),
                                            std::memory_order_relaxed);
  if (context_.statistics != nullptr) {
    context_.statistics->received.Add(TickCountMs(), static_cast<uint32_t>(frame_bytes));
  }
  if (frame_bytes != 0) {
    if (!video->frame_valid) return;  // the count disagrees with the length
    counters.frames_received.fetch_add(1, std::memory_order_relaxed);
    if (context_.statistics != nullptr)
      MediaStatistics::Count(context_.statistics->frames_received);
    context_.decoder.OnReceivedVideo(video->after_count);
  }
  received_.store(received + 1, std::memory_order_relaxed);

  if (context_.network_loss != nullptr &&
      counters.payload_bytes_received.load(std::memory_order_relaxed) != 0) {
    context_.network_loss->Stamp(TickCountMs());
  }
}

void MediaChannel::ReceivePacketLoss(std::span<const uint8_t> datagram) {
  auto loss = ParsePacketLoss(datagram);
  if (!loss) return;
  context_.keyframes.packet_loss.store(true, std::memory_order_release);
  Diag("[%u] Received PacketLoss(R:%u,E:%u) Ind", TickCountMs(), loss->received, loss->expected);
}

void MediaChannel::AnswerRttProbe(std::span<const uint8_t> datagram) {
  auto probe = ParseRttProbeReq(datagram);
  if (!probe) return;
  const size_t length = BuildRttProbeRsp(reply_buffer_, *probe);
  context_.port.Send(std::span<const uint8_t>(reply_buffer_).first(length), context_.peer.Get());
}

void MediaChannel::ReceiveRttAnswer(std::span<const uint8_t> datagram) {
  auto answer = ParseRttProbeRsp(datagram);
  if (!answer) return;
  const uint32_t round_trip_ms = RoundTripMs(TickCountMs(), *answer);
  Diag("[%u]\t%u", answer->probe_number, round_trip_ms);
  // An answer to no probe of ours (a time from the future) shows no figure.
  if (context_.statistics != nullptr && round_trip_ms <= 0x7fffffffu) {
    context_.statistics->last_rtt_ms.store(static_cast<int32_t>(round_trip_ms),
                                           std::memory_order_relaxed);
  }
}

bool MediaChannel::SendRttProbe(uint16_t probe_number) {
  const size_t length =
      BuildRttProbeReq(probe_buffer_, RttProbeFields{probe_number, TickCountMs()});
  return context_.port.SendTo(std::span<const uint8_t>(probe_buffer_).first(length),
                              context_.peer.Get());
}

}  // namespace kestrelio
