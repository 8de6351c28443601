#include "camera/driver_common.h"

#include <span>

#include "base/byte_io.h"

#define KCAM_EXPORT extern "C" __attribute__((visibility("default")))

namespace kestrelio::camera_driver {

FrameSink ReadFrameSink(const uint8_t* request) {
  ByteReader reader(std::span<const uint8_t>(request, KCAM_REQUEST_BYTES));
  FrameSink sink;
  sink.callback = reinterpret_cast<KcamFrameCallback>(
      static_cast<uintptr_t>(reader.U64Le(KCAM_REQUEST_CALLBACK_OFFSET)));
  sink.context =
      reinterpret_cast<void*>(static_cast<uintptr_t>(reader.U64Le(KCAM_REQUEST_CONTEXT_OFFSET)));
  return sink;
}

bool StopCaptureThread(Worker& capture) {
  if (!capture.Running()) return false;
  capture.Stop();
  return true;
}

}  // namespace kestrelio::camera_driver

KCAM_EXPORT int Camera_Init(uint32_t /*mode*/, uint32_t* result, uint32_t, uint32_t) {
  const uint32_t code = kestrelio::camera_driver::Init();
  if (result != nullptr) *result = code;
  return code == 0 ? 1 : 0;
}
KCAM_EXPORT int Camera_Begin(const uint8_t* request) {
  return request != nullptr && kestrelio::camera_driver::Begin(request) ? 1 : 0;
}
KCAM_EXPORT int Camera_End(void) { return kestrelio::camera_driver::End(); }
KCAM_EXPORT int Camera_Deinit(void) { return 1; }
KCAM_EXPORT int Camera_SetProperty(uint32_t, const uint32_t*) { return 1; }
KCAM_EXPORT int Camera_GetProperty(uint32_t, uint32_t* value) {
  if (value != nullptr) *value = 0;
  return 1;
}
KCAM_EXPORT int Camera_EncodeJPEG(void*) { return 0; }
KCAM_EXPORT int Camera_SetRecordParams(void*) { return 0; }
KCAM_EXPORT int Camera_JPEG_EXIF_INFO(void*) { return 0; }
