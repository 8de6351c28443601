// Helpers for the media tests: synthetic pictures in capture slots, recording sinks.
#pragma once

#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

#include "base/video/video_sinks.h"
#include "camera/synthetic/synthetic_scene.h"
#include "media/capture_state.h"

namespace kestrelio::testing {

// Frame `index` of the synthetic scene, as the frame callback would leave it in a slot.
inline void FillSlot(uint32_t index, CaptureSlot& slot) {
  std::array<uint8_t, kCameraFrameBytes> frame{};
  DrawSyntheticFrame(index, frame);
  std::copy(frame.begin(), frame.begin() + kLumaBytes, slot.y());
  for (int k = 0; k < kChromaPlaneBytes; ++k) {
    slot.v()[k] = frame[kLumaBytes + 2 * k];
    slot.u()[k] = frame[kLumaBytes + 2 * k + 1];
  }
}

// NAL unit types of an Annex B payload (after the 4-byte count), in order.
inline std::vector<int> NalTypes(std::span<const uint8_t> payload) {
  std::vector<int> types;
  for (size_t i = 4; i + 4 < payload.size(); ++i) {
    if (payload[i] == 0 && payload[i + 1] == 0 && payload[i + 2] == 0 && payload[i + 3] == 1) {
      types.push_back(payload[i + 4] & 0x1f);
      i += 3;
    }
  }
  return types;
}

inline bool IsIdrPayload(std::span<const uint8_t> payload) {
  for (int t : NalTypes(payload)) {
    if (t == 5) return true;
  }
  return false;
}

class RecordingSink : public VideoPayloadSink {
 public:
  void SendVideoPayload(std::span<const uint8_t> payload, uint16_t sequence) override {
    std::lock_guard lock(mutex);
    payloads.emplace_back(payload.begin(), payload.end());
    sequences.push_back(sequence);
  }
  std::mutex mutex;
  std::vector<std::vector<uint8_t>> payloads;
  std::vector<uint16_t> sequences;
};

}  // namespace kestrelio::testing
