// The synthetic camera driver: 96x80 frames of a moving scene (or of the Y4M file that
// KESTRELIO_CAMERA_Y4M names, looped) delivered from the driver's own thread at
// 12 frames/s. The entry points are in camera/driver_common.cc; the driver's one instance
// lives at file scope here.
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "base/diag.h"
#include "camera/driver_common.h"
#include "camera/kcam.h"
#include "camera/synthetic/synthetic_scene.h"
#include "camera/synthetic/y4m_reader.h"

namespace kestrelio {
namespace {

constexpr auto kFramePeriod = std::chrono::microseconds(camera_driver::kFramePeriodUs);

class SyntheticCamera {
 public:
  bool Begin(const uint8_t* request) {
    std::lock_guard lock(mutex_);
    if (capture_.Running()) return false;
    sink_ = camera_driver::ReadFrameSink(request);
    if (sink_.callback == nullptr) {
      Diag("synthetic camera: capture request without a callback");
      return false;
    }
    clip_ = Y4mClip{};
    if (const char* path = std::getenv("KESTRELIO_CAMERA_Y4M"); path && *path) {
      if (LoadY4m(path, clip_)) {
        Diag("synthetic camera plays %s (%d frames)", path, clip_.frame_count);
      }
    }
    return capture_.Start("kcam-synthetic", [this](std::stop_token stop) { Run(stop); });
  }

  int End() {
    std::lock_guard lock(mutex_);
    if (!camera_driver::StopCaptureThread(capture_)) return 0;
    return 1;
  }

 private:
  void Run(std::stop_token stop) {
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
      sink_.callback(sink_.context, frame.data());
      next += kFramePeriod;
      const auto now = std::chrono::steady_clock::now();
      if (next < now - kFramePeriod) next = now;  // fell far behind: do not race to catch up
      std::this_thread::sleep_until(next);
    }
  }

  std::mutex mutex_;
  camera_driver::FrameSink sink_;
  Y4mClip clip_;
  // Last: it stops, and joins, before what the capture thread reads goes.
  Worker capture_;
};

SyntheticCamera& Camera() {
  static SyntheticCamera camera;
  return camera;
}

}  // namespace
}  // namespace kestrelio

namespace kestrelio::camera_driver {

uint32_t Init() { return 0; }
bool Begin(const uint8_t* request) { return Camera().Begin(request); }
int End() { return Camera().End(); }

}  // namespace kestrelio::camera_driver
