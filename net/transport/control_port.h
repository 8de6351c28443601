// The seam between the handset's sockets and the code that acts on messages. The
// transport owns the UDP socket (port 8200) and the TCP listener (port 8100); it hands
// the video path (PacketLoss, RttProbeReq, RttProbeRsp, VideoData) to a
// MediaMessageHandler and every other message with a sound header to a
// ControlMessageHandler. Both send through DatagramSender and never touch a socket.
#pragma once

#include <cstdint>
#include <span>

#include "base/net_address.h"
#include "base/state/peer_link.h"  // what every sender addresses its peer by
#include "net/socket/datagram_sender.h"
#include "net/wire/header.h"

namespace kestrelio {

enum class Channel { kUdp, kTcp };

struct ReceivedMessage {
  Header header;                      // version already checked
  std::span<const uint8_t> datagram;  // the whole message, valid during the call only
  NetAddress from;
  Channel channel = Channel::kUdp;
};

// Signalling: call set-up, answers, release, chat, pause, presence pages.
class ControlMessageHandler {
 public:
  virtual ~ControlMessageHandler() = default;
  // Runs on the UDP thread, or on a TCP control thread for messages read from a control
  // session. Must not block for long: every later datagram waits behind it.
  virtual void OnControlMessage(const ReceivedMessage& message) = 0;
  // A control session ended (the far end closed it, it sent a message that ends a
  // session, it was closed for silence or a length that cannot be framed, or its socket
  // was closed). Runs on that session's thread; not called when the transport stops.
  virtual void OnSessionEnded() {}
};

// The video path: VideoData, PacketLoss and the round-trip probe.
class MediaMessageHandler {
 public:
  virtual ~MediaMessageHandler() = default;
  // Runs on the UDP thread (and on a TCP control thread for PacketLoss); decoding runs
  // here, so every later datagram waits behind it.
  virtual void OnMediaMessage(const ReceivedMessage& message) = 0;
};

}  // namespace kestrelio
