// The seam between the handset's sockets and its signalling. The transport owns the
// UDP socket (port 8200) and the TCP listener (port 8100) and takes the video path
// itself (PacketLoss, RttProbeReq, RttProbeRsp, VideoData); every other message with a
// sound header is handed to the ControlMessageHandler. Signalling sends through
// MessageSender and never touches a socket.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>

#include "net/wire/header.h"
#include "net/wire/net_address.h"

namespace kestrelio {

// The framing header as ParseHeader returns it.
using MessageHeader = Header;

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

// Where messages to the peer go during a call: its public address and port as the
// presence server reported them. Written by call set-up, read by every sender.
struct PeerLink {
  std::atomic<uint32_t> ipv4{0};
  std::atomic<uint16_t> port{0};

  void Set(const NetAddress& address) {
    ipv4.store(address.ipv4, std::memory_order_relaxed);
    port.store(address.port, std::memory_order_release);
  }
  NetAddress Get() const {
    uint16_t p = port.load(std::memory_order_acquire);
    return NetAddress{ipv4.load(std::memory_order_relaxed), p};
  }
};

}  // namespace kestrelio
