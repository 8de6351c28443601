// A scripted stand-in for the UDP socket under the transport.
#pragma once

#include <cerrno>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "net/socket/datagram_sender.h"
#include "net/wire/header.h"

namespace kestrelio::testing {

// Records every message "sent"; answers with the message size unless scripted otherwise.
class ScriptedPort : public DatagramSender {
 public:
  struct Sent {
    std::vector<uint8_t> bytes;
    NetAddress to;
  };
  SendResult Send(std::span<const uint8_t> message, const NetAddress& to) override {
    std::lock_guard lock(mutex_);
    sent_.push_back(Sent{{message.begin(), message.end()}, to});
    if (!next_result_) return SendResult::Sent(message.size());
    const long result = *std::exchange(next_result_, std::nullopt);
    if (result < 0) return SendResult::Failed(EIO);
    const auto bytes = static_cast<size_t>(result);
    return bytes == message.size() ? SendResult::Sent(bytes) : SendResult::Short(bytes);
  }
  // The next send reports `result` as sendto's return: a short count, or -1 for a failure.
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
