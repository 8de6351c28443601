// The UDP socket as the media channel sees it: MessageSender plus the raw count that
// sendto returned, which the "Data Sending Error (%d)" box shows.
#pragma once

#include <cstdint>
#include <span>

#include "net/transport/control_port.h"

namespace kestrelio {

class DatagramPort : public MessageSender {
 public:
  // Sends one message in one datagram; returns what sendto returned (-1 on failure).
  virtual long SendDatagram(std::span<const uint8_t> message, const NetAddress& to) = 0;

  bool SendTo(std::span<const uint8_t> message, const NetAddress& to) override {
    return SendDatagram(message, to) == static_cast<long>(message.size());
  }
};

}  // namespace kestrelio
