// The camera frame callback: NV21 camera frame -> capture ring slot (I420) and preview.
#pragma once

#include <cstdint>
#include <span>

#include "base/state/call_flags.h"
#include "media/capture_state.h"

namespace kestrelio {

// What the frame callback reads and writes; its address is the context pointer of the
// capture request.
struct CameraFrameContext {
  CaptureState& capture;
  const CallFlags& call;
  const MediaSettings& settings;
  KeyframeRequests& keyframes;
};

// Handles one 11,520-byte camera frame. Runs on the camera driver's thread; never blocks,
// allocates nothing.
void OnCameraFrame(CameraFrameContext& context, const uint8_t* frame);

// C-compatible trampoline for the capture request: `context` is a CameraFrameContext*.
extern "C" void OnCameraFrameCallback(void* context, const uint8_t* frame);

// Histogram equalisation of 7,680 luma bytes into `out`.
void EqualiseLuma(std::span<const uint8_t, kLumaBytes> in, std::span<uint8_t, kLumaBytes> out);

// Converts an I420 slot to the preview: B, G, R, frame row r at memory row r, mirrored.
void ConvertPreview(const CaptureSlot& slot, std::span<uint8_t, kPreviewBytes> out);

}  // namespace kestrelio
