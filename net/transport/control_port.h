// The seam between the handset's sockets and its signalling. The transport owns the
// UDP socket (port 8200) and the TCP listener (port 8100) and takes the video path
// itself (PacketLoss, RttProbeReq, RttProbeRsp, VideoData); every other message with a
// sound header is handed to the ControlMessageHandler. Signalling sends through
// MessageSender and never touches a socket.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>

#include "base/state/peer_link.h"
#include "net/wire/header.h"
#include "net/wire/net_address.h"

namespace kestrelio {

enum class Channel { kUdp, kTcp };

struct ReceivedMessage {
  Header header;                      // version already checked
  std::span<const uint8_t> datagram;  // the whole message, valid during the call only
  NetAddress from;
  Channel channel = Channel::kUdp;
};

class ControlMessageHandler {
 public:
  virtual ~ControlMessageHandler() = default;
  // Runs on the UDP thread, or on a TCP control thread for messages read from a control
  // session. Must not block for long: every later datagram waits behind it.
  virtual void OnControlMessage(const ReceivedMessage& message) = 0;
};

class MessageSender {
 public:
  virtual ~MessageSender() = default;
  // Sends one whole message in one datagram from the UDP socket. True only when every
  // byte went out. Any thread.
  virtual bool SendTo(std::span<const uint8_t> message, const NetAddress& to) = 0;
};

}  // namespace kestrelio
