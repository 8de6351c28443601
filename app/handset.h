// The running handset: the start-up sequence after the window exists, the worker
// threads, the dispatch of window commands and timers to the modules, and the ordered
// shutdown when the window closes.
//
//   main: window -> Handset::StartUp -> event loop -> OnDestroy (shutdown) -> ~Handset (joins)
//
//   camera --> capture ring --> encoder thread --> MediaChannel --> Transport (UDP 8200)
//   Transport --> MediaChannel --> picture ring --> display thread --> Window
//   Transport --> CallService (signalling, call control, chat) <--> PresenceClient
#pragma once

#include <memory>
#include <string>

#include "app/handset_context.h"
#include "app/handset_study.h"
#include "base/window/window.h"
#include "base/window/window_handler.h"
#include "call/call_service.h"
#include "call/handset_call_devices.h"
#include "device/notifications.h"
#include "device/power.h"
#include "device/vibration.h"
#include "dialogs/handset_identity.h"
#include "dialogs/handset_settings.h"
#include "dialogs/user_dialogs.h"
#include "media/camera_driver.h"
#include "media/camera_frame.h"
#include "media/encoder_thread.h"
#include "net/presence/presence_client.h"
#include "net/signalling/transport_sessions.h"
#include "net/transport/media_channel.h"
#include "net/transport/transport.h"
#include "study/study_files.h"

namespace kestrelio {

class PowerNotificationThread;

// Where the handset's network runs: addresses resolved from the command line and the
// settings store before start-up.
struct NetworkPlan {
  uint32_t bind_ipv4 = 0;  // 0: any local address
  NetAddress presence_server;
};

class Handset final : public WindowHandler {
 public:
  Handset(HandsetContext& context, Window& window, std::string program_dir, NetworkPlan plan);
  ~Handset() override;
  Handset(const Handset&) = delete;
  Handset& operator=(const Handset&) = delete;

  // Start-up from the battery reading on. False when the program must end at once
  // (camera library missing).
  bool StartUp(const std::string& camera_library);

  // For the remote control; null before start-up has reached them.
  const CallService* calls() const { return calls_.get(); }
  const PresenceClient* presence() const { return presence_.get(); }
  const StudyFiles* study_files() const { return study_files_.get(); }
  const MediaChannel& media_channel() const { return media_channel_; }
  HandsetStudy* study() { return study_.get(); }
  const HandsetStudy* study() const { return study_.get(); }

  // WindowHandler
  void OnCommand(int command_id) override;
  void OnTimer(int timer_id) override;
  void OnTextLogNotify(int wparam) override;
  void OnStatusLineShown() override;
  void OnDestroy() override;

 private:
  void StartNetworking();
  void StartDialogs();
  void StopThreads();

  HandsetContext& context_;
  Window& window_;
  const std::string program_dir_;
  const NetworkPlan plan_;

  CameraDriver camera_;
  CameraFrameContext frame_context_;
  bool camera_started_ = false;

  Transport transport_;
  MediaChannel media_channel_;
  std::unique_ptr<EncoderThreadContext> encoder_context_;
  EncoderDataThread encoder_thread_;
  std::unique_ptr<DisplayContext> display_context_;
  VideoDisplayThread display_thread_;

  std::unique_ptr<VibrationThread> vibration_;
  std::unique_ptr<PowerLayer> power_;
  std::unique_ptr<PowerNotificationThread> power_notifications_;
  DataConnection data_connection_;

  std::unique_ptr<StudyFiles> study_files_;
  std::unique_ptr<HandsetStudy> study_;
  std::unique_ptr<DesktopNotifier> notifier_;
  std::unique_ptr<PresenceClient> presence_;
  std::unique_ptr<HandsetCallDevices> call_devices_;
  std::unique_ptr<TransportSessions> sessions_;
  std::unique_ptr<CallService> calls_;
  std::unique_ptr<HandsetIdentity> dialog_identity_;
  std::unique_ptr<HandsetSettings> dialog_settings_;
  std::unique_ptr<UserDialogs> dialogs_;
  bool shut_down_ = false;
};

}  // namespace kestrelio
