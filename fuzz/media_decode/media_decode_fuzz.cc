// Video payloads come from the peer: any bytes must decode or be refused without harm.
// Inputs go in both as they are (count checks) and behind a matching count (the decoder).
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>

#include "base/diag.h"
#include "media/decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static kestrelio::DiagQuietScope quiet;
  static auto decoder = [] {
    auto state = std::make_unique<kestrelio::DecoderState>();
    kestrelio::DecoderOpen(*state);
    return state;
  }();
  static std::array<uint8_t, 4 + kestrelio::kMaxReceivedPayloadBytes> payload{};
  // The display's part: every slot is free again, so each picture is written out.
  for (auto& full : decoder->ring.full) full.store(0);
  kestrelio::DecodeIntoRing(*decoder, std::span<const uint8_t>(data, size));
  for (auto& full : decoder->ring.full) full.store(0);
  if (size == 0 || size > kestrelio::kMaxReceivedPayloadBytes) return 0;
  payload[0] = static_cast<uint8_t>(size >> 24);
  payload[1] = static_cast<uint8_t>(size >> 16);
  payload[2] = static_cast<uint8_t>(size >> 8);
  payload[3] = static_cast<uint8_t>(size);
  std::memcpy(payload.data() + 4, data, size);
  kestrelio::DecodeIntoRing(*decoder, std::span<const uint8_t>(payload.data(), size + 4));
  return 0;
}
