#include "media/camera_driver.h"

#include <dlfcn.h>
#include <glob.h>

#include <cstdio>
#include <cstring>

#include "base/diag.h"

namespace kestrelio {
namespace {

void PutU32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

void PutU64(uint8_t* p, uint64_t v) {
  PutU32(p, static_cast<uint32_t>(v));
  PutU32(p + 4, static_cast<uint32_t>(v >> 32));
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
  uint8_t* p = r.data();
  p[0] = 4;
  PutU32(p + 4, 640);
  PutU32(p + 8, 480);
  PutU32(p + 12, 0);
  PutU32(p + 16, 0);
  PutU32(p + 20, 639);
  PutU32(p + 24, 479);
  p[28] = 1;
  PutU32(p + 32, 0);
  PutU32(p + 36, 0);
  PutU32(p + 40, KCAM_FRAME_WIDTH - 1);
  PutU32(p + 44, KCAM_FRAME_HEIGHT - 1);
  p[48] = 0;
  p[49] = 8;
  p[50] = 0;
  PutU32(p + 52, 0);  // the classic 32-bit callback slot: too small for an address
  p[56] = 2;
  PutU32(p + 60, 0);
  PutU32(p + 64, 0);
  PutU32(p + 68, KCAM_FRAME_WIDTH - 1);
  PutU32(p + 72, KCAM_FRAME_HEIGHT - 1);
  PutU64(p + KCAM_REQUEST_CALLBACK_OFFSET, reinterpret_cast<uintptr_t>(callback));
  PutU64(p + KCAM_REQUEST_CONTEXT_OFFSET, reinterpret_cast<uintptr_t>(context));
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
  static constexpr uint32_t kProperties[][2] = {{10, 1}, {2, 1}, {1, 1}, {5, 4},
                                                {6, 2},  {4, 2}, {7, 2}, {9, 2}};
  for (const auto& property : kProperties) {
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
