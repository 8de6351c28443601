// A scripted stand-in for the UDP socket under the transport.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "net/transport/datagram_port.h"
#include "net/wire/header.h"

namespace kestrelio::testing {

// Records every message "sent"; answers with the message size unless scripted otherwise.
class ScriptedPort : public DatagramPort {
 public:
  struct Sent {
    std::vector<uint8_t> bytes;
    NetAddress to;
  };
  long SendDatagram(std::span<const uint8_t> message, const NetAddress& to) override {
    std::lock_guard lock(mutex_);
    sent_.push_back(Sent{{message.begin(), message.end()}, to});
    return next_result_ ? *std::exchange(next_result_, std::nullopt)
                        : static_cast<long>(message.size());
  }
  void FailNextSend(long result) {
    std::lock_guard lock(mutex_);
    next_result_ = result;
  }
  std::vector<Sent> AllSent() const {
    std::lock_guard lock(mutex_);
    return sent_;
  }
  // Sent messages of one type.
  std::vector<Sent> OfType(MessageType type) const {
    std::lock_guard lock(mutex_);
    std::vector<Sent> out;
    for (const auto& s : sent_) {
      if (s.bytes.size() > 1 && s.bytes[1] == static_cast<uint8_t>(type)) out.push_back(s);
    }
    return out;
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    sent_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Sent> sent_;
  std::optional<long> next_result_;
};

}  // namespace kestrelio::testing
