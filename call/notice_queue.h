// Notices that a network thread asks for (a refusal, a remote release, a send error) and
// the GUI thread shows. The network thread only queues the text and starts a timer; it
// never waits for a person. Bounded: beyond kCapacity waiting notices, new ones are
// counted and dropped with a diagnostic line. Fixed slots: queueing allocates nothing.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string_view>

namespace kestrelio {

class NoticeQueue {
 public:
  static constexpr size_t kCapacity = 8;
  static constexpr size_t kTextBytes = 128;
  static constexpr size_t kCaptionBytes = 32;

  struct Notice {
    std::array<char, kTextBytes> text{};
    std::array<char, kCaptionBytes> caption{};
    std::string_view Text() const { return text.data(); }
    std::string_view Caption() const { return caption.data(); }
  };

  // Any thread. False (and counted) when the queue is full.
  bool Push(std::string_view text, std::string_view caption);
  // The oldest waiting notice into `out`; false when none waits.
  bool Pop(Notice& out);
  uint32_t dropped() const;

 private:
  mutable std::mutex mutex_;
  std::array<Notice, kCapacity> slots_{};
  size_t head_ = 0;  // under mutex_
  size_t count_ = 0;
  uint32_t dropped_ = 0;
};

}  // namespace kestrelio
