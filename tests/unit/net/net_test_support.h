// Helpers for the transport and media channel tests: encoded pictures of the synthetic
// scene, datagram builders, and a scripted stand-in for the UDP socket.
#pragma once

#include <cerrno>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "media/encoder.h"
#include "net/socket/datagram_sender.h"
#include "net/wire/media_messages.h"
#include "tests/unit/media/media_test_util.h"
#include "ui/testing/fake_window.h"

namespace kestrelio::testing {

// `count` video payloads (count + NAL units) of the synthetic scene, as the encoder makes
// them: the first is an IDR picture, the rest P pictures.
inline std::vector<std::vector<uint8_t>> EncodePictures(int count) {
  auto capture = std::make_unique<CaptureState>();
  auto encoder = std::make_unique<EncoderState>();
  FakeWindow window;
  KeyframeRequests keyframes;
  RecordingSink sink;
  EncoderInit(*encoder);
  encoder->settings.log_level = EncoderLogLevel::kNone;
  if (!EncoderStart(*encoder, *capture, window)) return {};
  CaptureSlot slot;
  for (int i = 0; i < count; ++i) {
    FillSlot(static_cast<uint32_t>(i), slot);
    std::lock_guard lock(encoder->lock);
    EncodeFrame(*encoder, slot, keyframes, true, sink);
  }
  EncoderStop(*encoder, *capture);
  return std::move(sink.payloads);
}

// A VideoData message carrying `payload` (count + NAL units) as the media channel sends it.
inline std::vector<uint8_t> VideoDatagram(uint16_t sequence, std::span<const uint8_t> payload) {
  std::vector<uint8_t> message(kMaxMessageBytes);
  const size_t length = BuildVideoData(message, sequence, payload.subspan(4));
  message.resize(length);
  return message;
}

// An empty picture: a VideoData of length 10.
inline std::vector<uint8_t> EmptyVideoDatagram(uint16_t sequence) {
  std::vector<uint8_t> message(kVideoDataHeaderBytes);
  BuildVideoData(message, sequence, {});
  return message;
}

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
