// What every camera driver library does the same way: the frame rate it paces to, reading
// the frame callback out of a capture request, and the nine exported C entry points
// (driver_common.cc). Each driver defines only the three hooks below; its one instance
// lives at file scope because the contract is a set of free functions without a handle.
#pragma once

#include <cstdint>

#include "base/worker.h"
#include "camera/kcam.h"

namespace kestrelio::camera_driver {

// Frames go out at 12 per second, the encoder's nominal rate.
inline constexpr int64_t kFramePeriodUs = 1'000'000 / 12;

// Where frames go: the callback and the context it gets back with every frame.
struct FrameSink {
  KcamFrameCallback callback = nullptr;
  void* context = nullptr;
};

// Reads the 64-bit little-endian callback and context fields of a capture request of
// KCAM_REQUEST_BYTES bytes.
FrameSink ReadFrameSink(const uint8_t* request);

// Asks the capture thread to stop and joins it; false when none was running.
bool StopCaptureThread(Worker& capture);

// Hooks each driver defines.
// 0 when the driver can capture, else the error code Camera_Init reports.
uint32_t Init();
// Starts capture for a request that is not null; false when it cannot.
bool Begin(const uint8_t* request);
// Stops capture: 1 when it was running, else 0. No frame is delivered after it returns.
int End();

}  // namespace kestrelio::camera_driver
