// The synthetic camera driver: 96x80 frames of a moving scene (or of the Y4M file that
// KESTRELIO_CAMERA_Y4M names, looped) delivered from the driver's own thread at
// 12 frames/s. The driver contract is a set of free C functions without a handle, so the
// driver's one instance lives at file scope here.
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "base/diag.h"
#include "camera/kcam.h"
#include "camera/synthetic/synthetic_scene.h"
#include "camera/synthetic/y4m_reader.h"

#define KCAM_EXPORT extern "C" __attribute__((visibility("default")))

namespace kestrelio {
namespace {

constexpr auto kFramePeriod = std::chrono::microseconds(1'000'000 / 12);

uint64_t ReadU64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

class SyntheticCamera {
 public:
  bool Begin(const uint8_t* request) {
    std::lock_guard lock(mutex_);
    if (thread_.joinable()) return false;
    callback_ = reinterpret_cast<KcamFrameCallback>(
        static_cast<uintptr_t>(ReadU64(request + KCAM_REQUEST_CALLBACK_OFFSET)));
    context_ = reinterpret_cast<void*>(
        static_cast<uintptr_t>(ReadU64(request + KCAM_REQUEST_CONTEXT_OFFSET)));
    if (callback_ == nullptr) {
      Diag("synthetic camera: capture request without a callback");
      return false;
    }
    clip_ = Y4mClip{};
    if (const char* path = std::getenv("KESTRELIO_CAMERA_Y4M"); path && *path) {
      if (LoadY4m(path, clip_)) {
        Diag("synthetic camera plays %s (%d frames)", path, clip_.frame_count);
      }
    }
    thread_ = std::jthread([this](std::stop_token stop) { Run(stop); });
    return true;
  }

  int End() {
    std::lock_guard lock(mutex_);
    if (!thread_.joinable()) return 0;
    thread_.request_stop();
    thread_.join();
    thread_ = std::jthread();
    return 1;
  }

 private:
  void Run(std::stop_token stop) {
    SetThreadName("kcam-synthetic");
    std::array<uint8_t, KCAM_FRAME_BYTES> frame{};
    auto next = std::chrono::steady_clock::now();
    for (uint32_t index = 0; !stop.stop_requested(); ++index) {
      if (clip_.frame_count > 0) {
        const size_t at =
            (index % static_cast<uint32_t>(clip_.frame_count)) * size_t{KCAM_FRAME_BYTES};
        I420TopDownToNv21BottomUp(
            std::span<const uint8_t, KCAM_FRAME_BYTES>(clip_.frames.data() + at, KCAM_FRAME_BYTES),
            frame);
      } else {
        DrawSyntheticFrame(index, frame);
      }
      callback_(context_, frame.data());
      next += kFramePeriod;
      const auto now = std::chrono::steady_clock::now();
      if (next < now - kFramePeriod) next = now;  // fell far behind: do not race to catch up
      std::this_thread::sleep_until(next);
    }
  }

  std::mutex mutex_;
  std::jthread thread_;
  KcamFrameCallback callback_ = nullptr;
  void* context_ = nullptr;
  Y4mClip clip_;
};

SyntheticCamera& Camera() {
  static SyntheticCamera camera;
  return camera;
}

}  // namespace
}  // namespace kestrelio

KCAM_EXPORT int Camera_Init(uint32_t /*mode*/, uint32_t* result, uint32_t, uint32_t) {
  if (result != nullptr) *result = 0;
  return 1;
}
KCAM_EXPORT int Camera_Begin(const uint8_t* request) {
  return request != nullptr && kestrelio::Camera().Begin(request) ? 1 : 0;
}
KCAM_EXPORT int Camera_End(void) { return kestrelio::Camera().End(); }
KCAM_EXPORT int Camera_Deinit(void) { return 1; }
KCAM_EXPORT int Camera_SetProperty(uint32_t, const uint32_t*) { return 1; }
KCAM_EXPORT int Camera_GetProperty(uint32_t, uint32_t* value) {
  if (value != nullptr) *value = 0;
  return 1;
}
KCAM_EXPORT int Camera_EncodeJPEG(void*) { return 0; }
KCAM_EXPORT int Camera_SetRecordParams(void*) { return 0; }
KCAM_EXPORT int Camera_JPEG_EXIF_INFO(void*) { return 0; }
