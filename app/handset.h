// The running handset: the start-up sequence after the window exists, the worker
// threads, the dispatch of window commands and timers to the modules, and the ordered
// shutdown when the window closes.
//
//   main: window -> Handset::StartUp -> event loop -> OnDestroy (shutdown) -> ~Handset (joins)
#pragma once

#include <memory>
#include <string>

#include "app/handset_context.h"
#include "device/power.h"
#include "device/vibration.h"
#include "media/camera_driver.h"
#include "media/camera_frame.h"
#include "media/encoder_thread.h"
#include "media/video_sink.h"
#include "ui/window.h"
#include "ui/window_handler.h"

namespace kestrelio {

class PowerNotificationThread;

// Until a call's media channel exists, pictures have nowhere to go.
class UnconnectedVideoSink final : public VideoPayloadSink {
 public:
  void SendVideoPayload(std::span<const uint8_t>, uint16_t) override {}
};

class Handset final : public WindowHandler {
 public:
  Handset(HandsetContext& context, Window& window, std::string program_dir);
  ~Handset() override;
  Handset(const Handset&) = delete;
  Handset& operator=(const Handset&) = delete;

  // Start-up from the battery reading on. False when the program must end at once
  // (camera library missing, a thread that cannot be created).
  bool StartUp(const std::string& camera_library);

  void RefreshStatusLine();

  // WindowHandler
  void OnCommand(int command_id) override;
  void OnTimer(int timer_id) override;
  void OnTextLogNotify(int wparam) override;
  void OnStatusLineShown() override { RefreshStatusLine(); }
  void OnDestroy() override;

 private:
  void StopThreads();

  HandsetContext& context_;
  Window& window_;
  const std::string program_dir_;

  CameraDriver camera_;
  CameraFrameContext frame_context_;
  bool camera_started_ = false;

  UnconnectedVideoSink unconnected_sink_;
  std::unique_ptr<EncoderThreadContext> encoder_context_;
  EncoderDataThread encoder_thread_;
  std::unique_ptr<DisplayContext> display_context_;
  VideoDisplayThread display_thread_;

  std::unique_ptr<VibrationThread> vibration_;
  std::unique_ptr<PowerLayer> power_;
  std::unique_ptr<PowerNotificationThread> power_notifications_;
  DataConnection data_connection_;
  bool shut_down_ = false;
};

}  // namespace kestrelio
