// Where the encoder data thread hands each finished picture: the media channel sends it
// as one datagram. Tests and tools put their own sinks here.
#pragma once

#include <cstdint>
#include <span>

namespace kestrelio {

class VideoPayloadSink {
 public:
  virtual ~VideoPayloadSink() = default;
  // `payload` is the video payload: 4-byte big-endian count N, then N bytes of Annex B
  // H.264. `sequence` is the picture's frame sequence number. Called on the encoder data
  // thread; the bytes are valid only during the call.
  virtual void SendVideoPayload(std::span<const uint8_t> payload, uint16_t sequence) = 0;
};

}  // namespace kestrelio
