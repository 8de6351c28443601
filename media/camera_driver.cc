#include "media/camera_driver.h"

#include <dlfcn.h>
#include <glob.h>

#include <cstdio>
#include <cstring>

#include "base/byte_io.h"
#include "base/diag.h"

namespace kestrelio {
namespace {

// The classic capture request, little-endian. The bytes marked "role not fixed" are the
// values the driver expects at those offsets.
constexpr size_t kLeadMarkerOffset = 0;  // 4
constexpr size_t kCaptureWidthOffset = 4;
constexpr size_t kCaptureHeightOffset = 8;
constexpr size_t kSourceRectOffset = 12;    // left, top, right, bottom (inclusive), u32 each
constexpr size_t kSourceMarkerOffset = 28;  // 1
constexpr size_t kOutputRectOffset = 32;
constexpr size_t kOutputMarkerOffsets[] = {48, 49, 50};  // 0, 8, 0
constexpr size_t kClassicCallbackOffset = 52;
constexpr size_t kSecondMarkerOffset = 56;  // 2
constexpr size_t kSecondRectOffset = 60;
constexpr uint32_t kCaptureWidth = 640;
constexpr uint32_t kCaptureHeight = 480;

// The camera properties set after streaming begins, in this order: (id, value).
constexpr uint32_t kStartProperties[][2] = {{10, 1}, {2, 1}, {1, 1}, {5, 4},
                                            {6, 2},  {4, 2}, {7, 2}, {9, 2}};

// A rectangle as four inclusive u32 edges: left, top, right, bottom.
void WriteRect(ByteWriter& out, size_t offset, uint32_t right, uint32_t bottom) {
  out.U32Le(offset, 0);
  out.U32Le(offset + 4, 0);
  out.U32Le(offset + 8, right);
  out.U32Le(offset + 12, bottom);
}

template <typename Fn>
bool LookUp(void* library, const char* name, Fn& out) {
  dlerror();
  void* symbol = dlsym(library, name);
  const char* error = dlerror();
  if (symbol == nullptr || error != nullptr) {
    Diag("camera driver lacks entry point %s: %s", name, error ? error : "null address");
    return false;
  }
  out = reinterpret_cast<Fn>(symbol);
  return true;
}

}  // namespace

void CameraLibraryCloser::operator()(void* handle) const {
  if (handle != nullptr) dlclose(handle);
}

std::string ResolveCameraLibrary(std::string_view argument, std::string_view program_dir,
                                 bool capture_device_present) {
  std::string_view name = argument;
  if (name.empty()) name = capture_device_present ? "v4l2" : "synthetic";
  if (name == "synthetic" || name == "v4l2") {
    std::string path(program_dir);
    if (!path.empty() && path.back() != '/') path += '/';
    path += "libkcam-";
    path += name;
    path += ".so";
    return path;
  }
  return std::string(argument);
}

bool CaptureDevicePresent() {
  glob_t found{};
  const bool any = glob("/dev/video*", 0, nullptr, &found) == 0 && found.gl_pathc > 0;
  globfree(&found);
  return any;
}

bool CameraLoad(const std::string& library_path, CameraDriver& driver) {
  driver = CameraDriver{};
  void* library = dlopen(library_path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    Diag("camera driver %s not loaded: %s", library_path.c_str(), dlerror());
    return false;
  }
  driver.library.reset(library);
  const bool all = LookUp(library, "Camera_Init", driver.init) &&
                   LookUp(library, "Camera_Begin", driver.begin) &&
                   LookUp(library, "Camera_End", driver.end) &&
                   LookUp(library, "Camera_Deinit", driver.deinit) &&
                   LookUp(library, "Camera_GetProperty", driver.get_property) &&
                   LookUp(library, "Camera_SetProperty", driver.set_property) &&
                   LookUp(library, "Camera_EncodeJPEG", driver.encode_jpeg) &&
                   LookUp(library, "Camera_SetRecordParams", driver.set_record_params) &&
                   LookUp(library, "Camera_JPEG_EXIF_INFO", driver.jpeg_exif_info);
  if (!all) {
    driver = CameraDriver{};
    return false;
  }
  return true;
}

std::array<uint8_t, KCAM_REQUEST_BYTES> BuildCaptureRequest(KcamFrameCallback callback,
                                                            void* context) {
  std::array<uint8_t, KCAM_REQUEST_BYTES> r{};
  ByteWriter out(r);
  out.U8(kLeadMarkerOffset, 4);
  out.U32Le(kCaptureWidthOffset, kCaptureWidth);
  out.U32Le(kCaptureHeightOffset, kCaptureHeight);
  WriteRect(out, kSourceRectOffset, kCaptureWidth - 1, kCaptureHeight - 1);
  out.U8(kSourceMarkerOffset, 1);
  WriteRect(out, kOutputRectOffset, KCAM_FRAME_WIDTH - 1, KCAM_FRAME_HEIGHT - 1);
  out.U8(kOutputMarkerOffsets[0], 0);
  out.U8(kOutputMarkerOffsets[1], 8);
  out.U8(kOutputMarkerOffsets[2], 0);
  out.U32Le(kClassicCallbackOffset, 0);  // the classic 32-bit slot: too small for an address
  out.U8(kSecondMarkerOffset, 2);
  WriteRect(out, kSecondRectOffset, KCAM_FRAME_WIDTH - 1, KCAM_FRAME_HEIGHT - 1);
  out.U64Le(KCAM_REQUEST_CALLBACK_OFFSET, reinterpret_cast<uintptr_t>(callback));
  out.U64Le(KCAM_REQUEST_CONTEXT_OFFSET, reinterpret_cast<uintptr_t>(context));
  return r;
}

bool CameraStart(CameraDriver& driver, PreviewBitmap& preview, Window& window,
                 KcamFrameCallback callback, void* context) {
  if (driver.initialised) return true;
  if (driver.init == nullptr) return false;
  uint32_t result = 0;
  driver.init(2, &result, 0, 0);
  if (result != 0) {
    char text[128];
    std::snprintf(text, sizeof text,
                  "Camera initialization has failed.\nPlease restart your phone. (%d)\n",
                  static_cast<int>(result));
    window.ShowMessageBox(text, "ERROR", MessageBoxButtons::kOk);
    return false;
  }
  driver.initialised = true;
  preview.Clear();

  const auto request = BuildCaptureRequest(callback, context);
  if (driver.begin(request.data()) == 0) {
    window.ShowMessageBox("Camera Begin error !!!", "Error", MessageBoxButtons::kOk);
    return false;
  }
  window.Invalidate();
  for (const auto& property : kStartProperties) {
    const uint32_t value = property[1];
    driver.set_property(property[0], &value);
  }
  return true;
}

int CameraStop(CameraDriver& driver, CaptureState& capture, Window& window) {
  if (driver.end == nullptr) return 0;
  const int result = driver.end();
  if (driver.initialised) {
    if (driver.deinit() != 0) {
      capture.capture_active.store(false, std::memory_order_release);
    } else {
      window.ShowMessageBox("Camera Deinit Error", "", MessageBoxButtons::kOk);
    }
  }
  return result;
}

}  // namespace kestrelio
