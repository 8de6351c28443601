// Media messages for the transport and media channel tests: encoded pictures of the
// synthetic scene and the VideoData datagrams that carry them.
#pragma once

#include <cerrno>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "media/encoder.h"
#include "net/wire/media_messages.h"
#include "tests/support/fake_window.h"
#include "tests/support/media_samples.h"

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

}  // namespace kestrelio::testing
