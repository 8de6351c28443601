// State shared by the camera callback (writer), the encoder data thread (ring reader) and
// the video display thread (preview reader). Owned by the handset context; every buffer
// exists before the first frame, zero-filled.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "base/state/keyframe_requests.h"
#include "base/worker_waker.h"
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

// The mirrored own picture, 24-bit B, G, R, bottom-up rows of 288 bytes, between the
// camera callback (writer) and the video display thread (reader). Each side owns one
// buffer outright and a third is the hand-off: the writer fills its own buffer and
// swaps it with the hand-off one (Publish); the reader swaps the hand-off one with its
// own when a fresh picture waits (TakeLatest). No buffer is ever written while it is
// read, and neither side waits.
struct PreviewBitmap {
  using Buffer = std::array<uint8_t, kPreviewBytes>;

  // Writer: the buffer to fill, then Publish.
  Buffer& WriteBuffer() { return buffers_[back_]; }
  void Publish() {
    last_written_ = back_;
    back_ = static_cast<uint8_t>(handoff_.exchange(back_ | kFresh, std::memory_order_acq_rel) &
                                 kIndexMask);
  }
  // The picture the writer published last (the writer's view; tests read it).
  const Buffer& LastWritten() const { return buffers_[last_written_]; }

  // Reader: the newest published picture; the one taken before when none is new.
  const Buffer& TakeLatest() {
    if ((handoff_.load(std::memory_order_relaxed) & kFresh) != 0) {
      front_ =
          static_cast<uint8_t>(handoff_.exchange(front_, std::memory_order_acq_rel) & kIndexMask);
    }
    return buffers_[front_];
  }

  // Blanks every buffer; only while neither side runs (camera start).
  void Clear() {
    for (Buffer& buffer : buffers_) buffer.fill(0);
    counter.store(0);
  }

  // Frames published since the display thread last read (and zeroed) it.
  std::atomic<uint32_t> counter{0};
  // Woken for each published picture: the display thread sleeps until one waits.
  WorkerWaker reader_waker;

 private:
  static constexpr uint8_t kFresh = 0x4;
  static constexpr uint8_t kIndexMask = 0x3;

  alignas(64) std::array<Buffer, 3> buffers_{};
  uint8_t back_ = 0;          // writer only
  uint8_t last_written_ = 0;  // writer only
  uint8_t front_ = 2;         // reader only
  std::atomic<uint8_t> handoff_{1};
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
  // The camera callback wakes the encoder data thread for each committed slot: it
  // does not poll.
  WorkerWaker encoder_waker;
};

}  // namespace kestrelio
