// State shared by the camera callback (writer), the encoder data thread (ring reader) and
// the video display thread (preview reader). Owned by the handset context; every buffer
// exists before the first frame, zero-filled.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "base/state/keyframe_requests.h"
#include "camera/kcam.h"

namespace kestrelio {

inline constexpr int kFrameWidth = KCAM_FRAME_WIDTH;
inline constexpr int kFrameHeight = KCAM_FRAME_HEIGHT;
inline constexpr int kLumaBytes = kFrameWidth * kFrameHeight;          // 7,680
inline constexpr int kChromaPlaneBytes = kLumaBytes / 4;               // 1,920
inline constexpr int kI420Bytes = kLumaBytes + 2 * kChromaPlaneBytes;  // 11,520
inline constexpr int kCameraFrameBytes = KCAM_FRAME_BYTES;             // NV21, 11,520
inline constexpr int kPreviewStride = kFrameWidth * 3;                 // 288
inline constexpr int kPreviewBytes = kPreviewStride * kFrameHeight;    // 23,040
inline constexpr int kCaptureSlots = 4;

// One I420 picture: Y (stride 96), then U (stride 48), then V (stride 48).
struct CaptureSlot {
  alignas(64) std::array<uint8_t, kI420Bytes> bytes{};
  std::atomic<uint8_t> full{0};  // 1: waits for the encoder; set with release, read with acquire

  uint8_t* y() { return bytes.data(); }
  uint8_t* u() { return bytes.data() + kLumaBytes; }
  uint8_t* v() { return bytes.data() + kLumaBytes + kChromaPlaneBytes; }
  const uint8_t* y() const { return bytes.data(); }
};

// Four slots between the camera callback (moves write_index, sets full flags) and the
// encoder data thread (moves read_index, clears full flags).
struct CaptureRing {
  std::array<CaptureSlot, kCaptureSlots> slots{};
  std::atomic<uint32_t> write_index{0};
  std::atomic<uint32_t> read_index{0};

  // Empties the ring; only while neither side runs on it (encoder open).
  void Reset();
};

// The mirrored own picture, 24-bit B, G, R, bottom-up rows of 288 bytes.
struct PreviewBitmap {
  alignas(64) std::array<uint8_t, kPreviewBytes> bytes{};
  // Frames written since the display thread last read (and zeroed) it.
  std::atomic<uint32_t> counter{0};
};

// Check boxes of the encoder settings page; off at start-up.
struct MediaSettings {
  std::atomic<bool> pre_processing{false};
  std::atomic<bool> black_and_white{false};
  std::atomic<bool> frame_drop{false};
};


// Frame-drop window counters; touched by the camera callback only.
struct FrameDropCounters {
  uint32_t motion = 0;
  uint32_t still = 0;
};

struct CaptureState {
  CaptureRing ring;
  PreviewBitmap preview;
  std::atomic<bool> capture_active{false};  // set by encoder start, cleared by encoder stop
  FrameDropCounters frame_drop;
};

}  // namespace kestrelio
