// A camera driver that lacks Camera_JPEG_EXIF_INFO: loading it must fail.
#include <cstdint>

#define EXPORT extern "C" __attribute__((visibility("default")))
EXPORT int Camera_Init(uint32_t, uint32_t* result, uint32_t, uint32_t) {
  *result = 0;
  return 1;
}
EXPORT int Camera_Begin(const uint8_t*) { return 1; }
EXPORT int Camera_End(void) { return 1; }
EXPORT int Camera_Deinit(void) { return 1; }
EXPORT int Camera_SetProperty(uint32_t, const uint32_t*) { return 1; }
EXPORT int Camera_GetProperty(uint32_t, uint32_t*) { return 1; }
EXPORT int Camera_EncodeJPEG(void*) { return 0; }
EXPORT int Camera_SetRecordParams(void*) { return 0; }
