// Footage for the media benchmarks: the Y4M clip under KESTRELIO_MEDIA_DIR (default
// ../shared/media), or the synthetic scene when asked or when the clip is absent.
// Pictures are I420 as the capture ring holds them (rows bottom-up).
#pragma once

#include <array>
#include <cstdlib>
#include <string>
#include <vector>

#include "camera/synthetic/synthetic_scene.h"
#include "camera/synthetic/y4m_reader.h"
#include "media/capture_state.h"

namespace kestrelio::bench {

struct Clip {
  std::string name;
  std::vector<CaptureSlot> slots;  // one per frame, as the frame callback leaves them
  std::vector<std::array<uint8_t, kCameraFrameBytes>> camera_frames;  // NV21 bottom-up
};

inline void FillFromNv21(const std::array<uint8_t, kCameraFrameBytes>& frame, CaptureSlot& slot) {
  std::copy(frame.begin(), frame.begin() + kLumaBytes, slot.y());
  for (int k = 0; k < kChromaPlaneBytes; ++k) {
    slot.v()[k] = frame[kLumaBytes + 2 * k];
    slot.u()[k] = frame[kLumaBytes + 2 * k + 1];
  }
}

inline std::string ClipPath() {
  const char* dir = std::getenv("KESTRELIO_MEDIA_DIR");
  return std::string(dir && *dir ? dir : "../shared/media") + "/camera96x80.y4m";
}

// `synthetic` forces the synthetic scene (`frames` frames); otherwise the Y4M clip.
inline Clip LoadClip(bool synthetic, int frames = 240) {
  Clip clip;
  Y4mClip y4m;
  if (!synthetic && LoadY4m(ClipPath(), y4m)) {
    clip.name = "camera96x80.y4m";
    frames = y4m.frame_count;
  } else {
    clip.name = "synthetic";
    synthetic = true;
  }
  clip.slots = std::vector<CaptureSlot>(static_cast<size_t>(frames));
  clip.camera_frames.resize(static_cast<size_t>(frames));
  for (int i = 0; i < frames; ++i) {
    auto& frame = clip.camera_frames[static_cast<size_t>(i)];
    if (synthetic) {
      DrawSyntheticFrame(static_cast<uint32_t>(i), frame);
    } else {
      I420TopDownToNv21BottomUp(std::span<const uint8_t, kI420Bytes>(
                                    y4m.frames.data() + size_t(i) * kI420Bytes, kI420Bytes),
                                frame);
    }
    FillFromNv21(frame, clip.slots[static_cast<size_t>(i)]);
  }
  return clip;
}

}  // namespace kestrelio::bench
