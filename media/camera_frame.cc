#include "media/camera_frame.h"

#include <cstring>

#include "media/frame_drop.h"
#include "media/yuv_rows.h"

namespace kestrelio {

void CaptureRing::Reset() {
  for (auto& slot : slots) slot.full.store(0, std::memory_order_relaxed);
  write_index.store(0, std::memory_order_relaxed);
  read_index.store(0, std::memory_order_release);
}

void EqualiseLuma(std::span<const uint8_t, kLumaBytes> in, std::span<uint8_t, kLumaBytes> out) {
  uint32_t count[256] = {};
  for (uint8_t v : in) ++count[v];
  uint8_t table[256];
  uint32_t level = 0;
  for (int v = 0; v < 256; ++v) {
    // Each term truncates on its own, so the table never exceeds 255.
    level += count[v] * 255 / kLumaBytes;
    table[v] = static_cast<uint8_t>(level);
  }
  for (int i = 0; i < kLumaBytes; ++i) out[i] = table[in[i]];
}

void ConvertPreview(const CaptureSlot& slot, std::span<uint8_t, kPreviewBytes> out) {
  const uint8_t* y_plane = slot.bytes.data();
  const uint8_t* u_plane = y_plane + kLumaBytes;
  const uint8_t* v_plane = u_plane + kChromaPlaneBytes;
  for (int r = 0; r < kFrameHeight; ++r) {
    ConvertYuvRowToBgr(y_plane + r * kFrameWidth, u_plane + (r / 2) * (kFrameWidth / 2),
                       v_plane + (r / 2) * (kFrameWidth / 2), kFrameWidth,
                       out.data() + r * kPreviewStride, RowOrder::kMirrored);
  }
}

void OnCameraFrame(CameraFrameContext& context, const uint8_t* frame) {
  CaptureState& capture = context.capture;
  if (!capture.capture_active.load(std::memory_order_acquire)) return;

  CaptureRing& ring = capture.ring;
  const uint32_t write_index = ring.write_index.load(std::memory_order_relaxed);
  CaptureSlot& slot = ring.slots[write_index];
  // All four slots wait: the encoder has not caught up. The frame is lost whole.
  if (slot.full.load(std::memory_order_acquire) != 0) return;

  bool accept = true;
  if (context.settings.frame_drop.load(std::memory_order_relaxed)) {
    const CaptureSlot& previous = ring.slots[(write_index + kCaptureSlots - 1) % kCaptureSlots];
    accept = FrameDropTest(frame, previous.y(), capture.frame_drop, context.keyframes) ==
             FrameDecision::kAccept;
  }

  if (context.settings.pre_processing.load(std::memory_order_relaxed)) {
    EqualiseLuma(std::span<const uint8_t, kLumaBytes>(frame, kLumaBytes),
                 std::span<uint8_t, kLumaBytes>(slot.y(), kLumaBytes));
  } else {
    std::memcpy(slot.y(), frame, kLumaBytes);
  }

  if (context.settings.black_and_white.load(std::memory_order_relaxed)) {
    std::memset(slot.u(), 128, 2 * kChromaPlaneBytes);
  } else {
    const uint8_t* pairs = frame + kLumaBytes;  // V, U per 2x2 block
    uint8_t* u = slot.u();
    uint8_t* v = slot.v();
    for (int k = 0; k < kChromaPlaneBytes; ++k) {
      v[k] = pairs[2 * k];
      u[k] = pairs[2 * k + 1];
    }
  }

  const bool in_call = context.call.in_call.load(std::memory_order_acquire);
  const bool active = capture.capture_active.load(std::memory_order_acquire);
  if (in_call && active) {
    ConvertPreview(slot, capture.preview.WriteBuffer());
    capture.preview.Publish();
    capture.preview.counter.fetch_add(1, std::memory_order_release);
    capture.preview.reader_waker.Wake();
  }
  if (accept && in_call && active) {
    slot.full.store(1, std::memory_order_release);
    ring.write_index.store((write_index + 1) % kCaptureSlots, std::memory_order_release);
    capture.encoder_waker.Wake();
  }
}

extern "C" void OnCameraFrameCallback(void* context, const uint8_t* frame) {
  OnCameraFrame(*static_cast<CameraFrameContext*>(context), frame);
}

}  // namespace kestrelio
