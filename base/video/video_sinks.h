// The two seams between the media pipeline and the network: the encoder data thread
// hands each finished picture to a VideoPayloadSink (the media channel sends it as one
// datagram), and the media channel hands each accepted picture from the peer to a
// ReceivedVideoSink (the decoder, which fills the picture ring). Tests and tools put
// their own sinks on either side.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace kestrelio {

// The video payload starts with its count N, big-endian, of the H.264 bytes after it.
inline constexpr size_t kPayloadCountOffset = 0;
inline constexpr size_t kPayloadCountBytes = 4;

class VideoPayloadSink {
 public:
  virtual ~VideoPayloadSink() = default;
  // `payload` is the video payload: 4-byte big-endian count N, then N bytes of Annex B
  // H.264. `sequence` is the picture's frame sequence number. Called on the encoder data
  // thread; the bytes are valid only during the call.
  virtual void SendVideoPayload(std::span<const uint8_t> payload, uint16_t sequence) = 0;
};

class ReceivedVideoSink {
 public:
  virtual ~ReceivedVideoSink() = default;
  // One accepted payload from the peer: the 4-byte big-endian count N, then N bytes of
  // Annex B H.264. Called on the thread that received it; the bytes are valid only
  // during the call.
  virtual void OnReceivedVideo(std::span<const uint8_t> payload) = 0;
};

}  // namespace kestrelio
