// Loading and running a camera driver library (camera/kcam.h): the nine entry points,
// the capture request, start at start-up, stop at shutdown.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "camera/kcam.h"
#include "media/capture_state.h"
#include "base/window/window.h"

namespace kestrelio {

struct CameraLibraryCloser {
  void operator()(void* handle) const;
};

// A loaded driver: the library handle and its entry points. Unloads on destruction.
struct CameraDriver {
  std::unique_ptr<void, CameraLibraryCloser> library;
  KcamInitFn init = nullptr;
  KcamBeginFn begin = nullptr;
  KcamEndFn end = nullptr;
  KcamDeinitFn deinit = nullptr;
  KcamGetPropertyFn get_property = nullptr;
  KcamSetPropertyFn set_property = nullptr;
  KcamEncodeJpegFn encode_jpeg = nullptr;
  KcamSetRecordParamsFn set_record_params = nullptr;
  KcamJpegExifInfoFn jpeg_exif_info = nullptr;
  bool initialised = false;  // Camera_Init succeeded; never cleared
};

// Maps --camera's argument to a library path: "synthetic" and "v4l2" name the drivers
// beside the program in `program_dir`; anything else is a path. An empty argument picks
// v4l2 when `capture_device_present`, else synthetic.
std::string ResolveCameraLibrary(std::string_view argument, std::string_view program_dir,
                                 bool capture_device_present);
// Whether a V4L2 device node (/dev/video*) exists.
bool CaptureDevicePresent();

// Loads the library and looks up all nine entry points. A missing library or entry point
// fails the load with a diagnostic naming it.
bool CameraLoad(const std::string& library_path, CameraDriver& driver);

// Builds the capture request: 640x480 capture, 96x80 output, the 64-bit callback and its
// context after the classic 76 bytes.
std::array<uint8_t, KCAM_REQUEST_BYTES> BuildCaptureRequest(KcamFrameCallback callback,
                                                            void* context);

// Initialises the driver and starts streaming into `callback` with `context`. Shows its
// own failures; a second call after success returns true at once.
bool CameraStart(CameraDriver& driver, PreviewBitmap& preview, Window& window,
                 KcamFrameCallback callback, void* context);

// Ends streaming (no callback runs after it returns) and de-initialises. Returns what
// Camera_End returned.
int CameraStop(CameraDriver& driver, CaptureState& capture, Window& window);

}  // namespace kestrelio
