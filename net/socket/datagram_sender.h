// The one way the program's code sends a datagram: the handset's UDP socket, the
// presence server's socket, and the recorders that stand in for them in tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "base/net_address.h"

namespace kestrelio {

enum class SendStatus {
  kSent,    // every byte went out in one datagram
  kShort,   // sendto reported fewer bytes than the message holds
  kFailed,  // sendto failed (or there is no open socket); `error` says why
};

struct SendResult {
  SendStatus status = SendStatus::kFailed;
  size_t bytes_sent = 0;
  int error = 0;  // errno for kFailed, else 0

  static SendResult Sent(size_t bytes) { return {SendStatus::kSent, bytes, 0}; }
  static SendResult Short(size_t bytes) { return {SendStatus::kShort, bytes, 0}; }
  static SendResult Failed(int error) { return {SendStatus::kFailed, 0, error}; }

  bool whole() const { return status == SendStatus::kSent; }
  // What sendto itself returned: the bytes sent, or -1 when it failed. The video send
  // failure box shows this number.
  long SendtoReturn() const {
    return status == SendStatus::kFailed ? -1L : static_cast<long>(bytes_sent);
  }
};

class DatagramSender {
 public:
  virtual ~DatagramSender() = default;
  // Sends one whole message in one datagram. Any thread.
  virtual SendResult Send(std::span<const uint8_t> message, const NetAddress& to) = 0;
  // Send, true only when every byte went out.
  bool SendTo(std::span<const uint8_t> message, const NetAddress& to) {
    return Send(message, to).whole();
  }
};

}  // namespace kestrelio
