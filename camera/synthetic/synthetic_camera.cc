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
    clip_ = Y4mReader{};
    if (const char* path = std::getenv("KESTRELIO_CAMERA_Y4M"); path && *path) {
      // Streamed frame by frame: a file of any length costs one frame of memory.
      if (clip_.Open(path)) Diag("synthetic camera plays %s", path);
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
    std::array<uint8_t, KCAM_FRAME_BYTES> i420{};
    auto next = std::chrono::steady_clock::now();
    for (uint32_t index = 0; !stop.stop_requested(); ++index) {
      if (clip_.is_open() && clip_.ReadFrameLooped(i420)) {
        I420TopDownToNv21BottomUp(i420, frame);
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
  Y4mReader clip_;  // read by the capture thread only, once Begin has opened it
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
