// The V4L2 camera driver: the device named by KESTRELIO_V4L2_DEVICE or the first capture
// device, asked for 640x480 at 12 frames/s; libv4l2 converts whatever the device sends
// (YUYV, MJPEG, ...) to planar 4:2:0, libswscale crops to 6:5 and scales to 96x80, and
// the frames go to the callback as NV21 bottom-up from the driver's own thread, thinned to
// 12 frames/s when the device runs faster. The entry points are in
// camera/driver_common.cc; the driver's one instance lives at file scope here.
#include <fcntl.h>
#include <libv4l2.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/mman.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

#include "base/diag.h"
#include "camera/driver_common.h"
#include "camera/kcam.h"
#include "camera/synthetic/synthetic_scene.h"
#include "camera/v4l2/frame_pacer.h"

namespace kestrelio {
namespace {

constexpr int kW = KCAM_FRAME_WIDTH;
constexpr int kH = KCAM_FRAME_HEIGHT;

int Ioctl(int fd, unsigned long request, void* arg) {
  int r;
  do {
    r = v4l2_ioctl(fd, request, arg);
  } while (r == -1 && errno == EINTR);
  return r;
}

bool IsCaptureDevice(const std::string& path) {
  const int fd = v4l2_open(path.c_str(), O_RDWR | O_NONBLOCK);
  if (fd < 0) return false;
  v4l2_capability cap{};
  const bool ok = Ioctl(fd, VIDIOC_QUERYCAP, &cap) == 0 &&
                  (cap.device_caps & V4L2_CAP_VIDEO_CAPTURE) != 0 &&
                  (cap.device_caps & V4L2_CAP_STREAMING) != 0;
  v4l2_close(fd);
  return ok;
}

std::string FindDevice() {
  if (const char* named = std::getenv("KESTRELIO_V4L2_DEVICE"); named && *named) return named;
  for (int i = 0; i < 64; ++i) {
    const std::string path = "/dev/video" + std::to_string(i);
    if (IsCaptureDevice(path)) return path;
  }
  return {};
}

class V4l2Camera {
 public:
  // 0 when a capture device is there, else an error code for the user's message.
  uint32_t Init() {
    std::lock_guard lock(mutex_);
    device_ = FindDevice();
    if (device_.empty()) {
      Diag("v4l2 camera: no video capture device (set KESTRELIO_V4L2_DEVICE)");
      return ENODEV;
    }
    return 0;
  }

  bool Begin(const uint8_t* request) {
    std::lock_guard lock(mutex_);
    if (capture_.Running() || device_.empty()) return false;
    sink_ = camera_driver::ReadFrameSink(request);
    if (sink_.callback == nullptr || !Open() ||
        !capture_.Start("kcam-v4l2", [this](std::stop_token stop) { Run(stop); })) {
      // Nothing runs: the device is released and the next Begin starts afresh.
      Close();
      return false;
    }
    return true;
  }

  int End() {
    std::lock_guard lock(mutex_);
    // The thread is joined before the device and buffers it reads are released.
    if (!camera_driver::StopCaptureThread(capture_)) return 0;
    Close();
    return 1;
  }

 private:
  bool Open() {
    fd_ = v4l2_open(device_.c_str(), O_RDWR | O_NONBLOCK);
    if (fd_ < 0) {
      Diag("v4l2 camera: %s cannot be opened: %s", device_.c_str(), std::strerror(errno));
      return false;
    }
    // The capture request asks 640x480; the device answers with what it can do.
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    format.fmt.pix.width = 640;
    format.fmt.pix.height = 480;
    format.fmt.pix.pixelformat = V4L2_PIX_FMT_YUV420;
    format.fmt.pix.field = V4L2_FIELD_ANY;
    if (Ioctl(fd_, VIDIOC_S_FMT, &format) != 0 ||
        format.fmt.pix.pixelformat != V4L2_PIX_FMT_YUV420 || format.fmt.pix.width < 2 ||
        format.fmt.pix.height < 2) {
      Diag("v4l2 camera: %s offers no 4:2:0 format: %s", device_.c_str(), std::strerror(errno));
      return false;
    }
    width_ = static_cast<int>(format.fmt.pix.width);
    height_ = static_cast<int>(format.fmt.pix.height);
    stride_ = static_cast<int>(format.fmt.pix.bytesperline ? format.fmt.pix.bytesperline
                                                           : format.fmt.pix.width);
    v4l2_streamparm parm{};
    parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    parm.parm.capture.timeperframe.numerator = 1;
    parm.parm.capture.timeperframe.denominator = 12;
    if (Ioctl(fd_, VIDIOC_S_PARM, &parm) != 0) {
      Diag("v4l2 camera: frame interval not settable; frames are thinned to 12/s");
    }

    v4l2_requestbuffers buffers{};
    buffers.count = 4;
    buffers.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffers.memory = V4L2_MEMORY_MMAP;
    if (Ioctl(fd_, VIDIOC_REQBUFS, &buffers) != 0 || buffers.count < 2) {
      Diag("v4l2 camera: no streaming buffers: %s", std::strerror(errno));
      return false;
    }
    for (uint32_t i = 0; i < buffers.count; ++i) {
      v4l2_buffer buffer{};
      buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      buffer.memory = V4L2_MEMORY_MMAP;
      buffer.index = i;
      if (Ioctl(fd_, VIDIOC_QUERYBUF, &buffer) != 0) return false;
      void* start = v4l2_mmap(nullptr, buffer.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_,
                              buffer.m.offset);
      if (start == MAP_FAILED) return false;
      maps_.push_back({start, buffer.length});
      if (Ioctl(fd_, VIDIOC_QBUF, &buffer) != 0) return false;
    }

    // Crop the source to the frame's 6:5 shape, centred, then scale.
    crop_width_ = width_;
    crop_height_ = height_;
    if (width_ * kH > height_ * kW) {
      crop_width_ = (height_ * kW / kH) & ~1;
    } else {
      crop_height_ = (width_ * kH / kW) & ~1;
    }
    scaler_ = sws_getContext(crop_width_, crop_height_, AV_PIX_FMT_YUV420P, kW, kH,
                             AV_PIX_FMT_YUV420P, SWS_AREA, nullptr, nullptr, nullptr);
    if (scaler_ == nullptr) return false;
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (Ioctl(fd_, VIDIOC_STREAMON, &type) != 0) {
      Diag("v4l2 camera: streaming does not start: %s", std::strerror(errno));
      return false;
    }
    Diag("v4l2 camera: %s at %dx%d, cropped %dx%d", device_.c_str(), width_, height_, crop_width_,
         crop_height_);
    return true;
  }

  void Close() {
    if (fd_ >= 0) {
      v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      Ioctl(fd_, VIDIOC_STREAMOFF, &type);
    }
    for (const auto& map : maps_) v4l2_munmap(map.start, map.length);
    maps_.clear();
    if (fd_ >= 0) v4l2_close(fd_);
    fd_ = -1;
    sws_freeContext(scaler_);
    scaler_ = nullptr;
  }

  void Deliver(const uint8_t* image) {
    const int x0 = ((width_ - crop_width_) / 2) & ~1;
    const int y0 = ((height_ - crop_height_) / 2) & ~1;
    const int chroma_stride = stride_ / 2;
    const uint8_t* y_plane = image;
    const uint8_t* u_plane = y_plane + stride_ * height_;
    const uint8_t* v_plane = u_plane + chroma_stride * (height_ / 2);
    const uint8_t* src[3] = {y_plane + y0 * stride_ + x0,
                             u_plane + (y0 / 2) * chroma_stride + x0 / 2,
                             v_plane + (y0 / 2) * chroma_stride + x0 / 2};
    const int src_stride[3] = {stride_, chroma_stride, chroma_stride};
    uint8_t* dst[3] = {i420_.data(), i420_.data() + kW * kH, i420_.data() + kW * kH * 5 / 4};
    const int dst_stride[3] = {kW, kW / 2, kW / 2};
    sws_scale(scaler_, src, src_stride, 0, crop_height_, dst, dst_stride);
    I420TopDownToNv21BottomUp(i420_, frame_);
    sink_.callback(sink_.context, frame_.data());
  }

  void Run(std::stop_token stop) {
    FramePacer pacer(camera_driver::kFramePeriodUs);
    pacer.SetSlackUs(camera_driver::kFramePeriodUs / 5);
    const size_t image_bytes = size_t(stride_) * size_t(height_) * 3 / 2;
    while (!stop.stop_requested()) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 200) <= 0) continue;
      v4l2_buffer buffer{};
      buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
      buffer.memory = V4L2_MEMORY_MMAP;
      if (Ioctl(fd_, VIDIOC_DQBUF, &buffer) != 0) {
        if (errno != EAGAIN) {
          Diag("v4l2 camera: frame not dequeued: %s", std::strerror(errno));
          std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        continue;
      }
      const int64_t now_us = std::chrono::duration_cast<std::chrono::microseconds>(
                                 std::chrono::steady_clock::now().time_since_epoch())
                                 .count();
      if (buffer.index < maps_.size() && buffer.bytesused >= image_bytes && pacer.Accept(now_us)) {
        Deliver(static_cast<const uint8_t*>(maps_[buffer.index].start));
      }
      Ioctl(fd_, VIDIOC_QBUF, &buffer);
    }
  }

  struct Map {
    void* start;
    size_t length;
  };

  std::mutex mutex_;
  std::string device_;
  int fd_ = -1;
  int width_ = 0;
  int height_ = 0;
  int stride_ = 0;
  int crop_width_ = 0;
  int crop_height_ = 0;
  std::vector<Map> maps_;
  SwsContext* scaler_ = nullptr;
  std::array<uint8_t, KCAM_FRAME_BYTES> i420_{};
  std::array<uint8_t, KCAM_FRAME_BYTES> frame_{};
  camera_driver::FrameSink sink_;
  // Last: it stops, and joins, before what the capture thread reads goes.
  Worker capture_;
};

V4l2Camera& Camera() {
  static V4l2Camera camera;
  return camera;
}

}  // namespace
}  // namespace kestrelio

namespace kestrelio::camera_driver {

uint32_t Init() { return Camera().Init(); }
bool Begin(const uint8_t* request) { return Camera().Begin(request); }
int End() { return Camera().End(); }

}  // namespace kestrelio::camera_driver
