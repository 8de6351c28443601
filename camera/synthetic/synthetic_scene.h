// A moving, textured 96x80 scene with a moving figure, in the camera frame layout (NV21,
// rows bottom-up), for the synthetic camera and for benchmarks.
#pragma once

#include <cstdint>
#include <span>

#include "camera/kcam.h"

namespace kestrelio {

// Draws frame number `index` of the scene into `frame` (11,520 bytes, NV21, bottom-up).
void DrawSyntheticFrame(uint32_t index, std::span<uint8_t, KCAM_FRAME_BYTES> frame);

// Converts one top-down I420 96x80 picture to NV21 with rows bottom-up.
void I420TopDownToNv21BottomUp(std::span<const uint8_t, KCAM_FRAME_BYTES> i420,
                               std::span<uint8_t, KCAM_FRAME_BYTES> frame);

}  // namespace kestrelio
