// The video path of a call over the UDP socket: one encoded picture per VideoData
// datagram, sequence checks with PacketLoss reports, decoding into the picture ring, the
// network-loss watch, and the round-trip probe.
//
//   encoder data thread --SendVideoPayload--> transmit buffer --sendto--> peer
//   UDP thread --OnMediaMessage(49)--> sequence check --DecodeIntoRing--> picture ring
//                                    \--> PacketLoss to the peer on a gap
//   PacketLoss from the peer --> KeyframeRequests::packet_loss (next picture is IDR)
//
// Only the peer speaks on this path, and only during a call: a message of the path from
// any other address, or outside a call, is counted and dropped (VideoData outside a call
// before anything else is looked at).
//
// Threads: SendVideoPayload runs on the encoder data thread, SendRttProbe on the UI
// thread, OnMediaMessage on the UDP thread (and on TCP control threads for PacketLoss).
// Each path builds in its own buffer, made with the channel; nothing is allocated per
// message.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>

#include "base/state/call_flags.h"
#include "base/state/keyframe_requests.h"
#include "base/state/media_statistics.h"
#include "base/state/network_loss_watch.h"
#include "base/state/peer_link.h"
#include "base/video/video_sinks.h"
#include "base/window/window.h"
#include "net/socket/datagram_sender.h"
#include "net/transport/control_port.h"
#include "net/transport/media_counters.h"

namespace kestrelio {

struct MediaChannelContext {
  DatagramSender& port;         // the transport
  const PeerLink& peer;         // where video, loss reports and probes go
  const CallFlags& call;        // VideoData is taken only while in_call is set
  ReceivedVideoSink& decoder;   // opened by call start
  KeyframeRequests& keyframes;  // set when the peer reports a loss
  MediaReceiveCounters& counters;
  Window& window;  // the send failure box
  // The call's figures for people (frames, rates, losses, round trip); none when null.
  MediaStatistics* statistics = nullptr;
  // Stamped by every VideoData once the second's payload is non-zero; the network-loss
  // timer measures from it. None when null.
  NetworkLossWatch* network_loss = nullptr;
};

// Messages of the video path dropped for their sender or their moment.
struct MediaDrops {
  std::atomic<uint32_t> not_in_call{0};  // no call is running
  std::atomic<uint32_t> not_peer{0};     // from an address other than the peer's
};

class MediaChannel : public VideoPayloadSink, public MediaMessageHandler {
 public:
  explicit MediaChannel(const MediaChannelContext& context);
  MediaChannel(const MediaChannel&) = delete;
  MediaChannel& operator=(const MediaChannel&) = delete;

  // Call start, with the decoder open: the next expected sequence number is 1 and the
  // receive counters and the call's figures are zero.
  void ResetReceive();

  // VideoPayloadSink: `payload` is the 4-byte big-endian count and the NAL units.
  void SendVideoPayload(std::span<const uint8_t> payload, uint16_t sequence) override;

  // MediaMessageHandler: PacketLoss, RttProbeReq, RttProbeRsp and VideoData.
  void OnMediaMessage(const ReceivedMessage& message) override;

  // The status tick's round-trip probe. True when the whole message went out.
  bool SendRttProbe(uint16_t probe_number);

  // False when the transmit buffer could not be made: start-up reports it and starts no
  // network, and no picture is ever sent.
  bool has_transmit_buffer() const { return transmit_ != nullptr; }

  uint16_t expected_sequence() const { return expected_.load(std::memory_order_relaxed); }
  uint32_t received_messages() const { return received_.load(std::memory_order_relaxed); }
  const MediaDrops& drops() const { return drops_; }

 private:
  // Whether `message` may act: a call runs and it comes from the peer.
  bool FromPeerInCall(const ReceivedMessage& message);
  void ReceiveVideo(std::span<const uint8_t> datagram);
  void ReceivePacketLoss(std::span<const uint8_t> datagram);
  void AnswerRttProbe(std::span<const uint8_t> datagram);
  void ReceiveRttAnswer(std::span<const uint8_t> datagram);

  MediaChannelContext context_;
  std::unique_ptr<uint8_t[]> transmit_;     // encoder thread: VideoData
  std::array<uint8_t, 16> reply_buffer_{};  // UDP thread: PacketLoss, RttProbeRsp
  std::array<uint8_t, 16> probe_buffer_{};  // UI thread: RttProbeReq
  std::atomic<uint16_t> expected_{1};
  std::atomic<uint32_t> received_{0};
  MediaDrops drops_;
};

}  // namespace kestrelio
