#include "app/handset.h"

#include <chrono>
#include <ctime>

#include "app/power_notifications.h"
#include "base/diag.h"
#include "base/tick.h"
#include "call/status_line.h"
#include "device/power_settings.h"
#include "device/updater.h"
#include "ui/ids.h"

namespace kestrelio {
namespace {

std::string LocalTimeStamp() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

}  // namespace

Handset::Handset(HandsetContext& context, Window& window, std::string program_dir)
    : context_(context),
      window_(window),
      program_dir_(std::move(program_dir)),
      frame_context_{context.capture, context.call, context.media_settings, context.keyframes} {}

Handset::~Handset() { StopThreads(); }

bool Handset::StartUp(const std::string& camera_library) {
  // The status line shows the battery from the first paint on.
  context_.battery.Refresh();
  RefreshStatusLine();

  if (!CameraLoad(camera_library, camera_)) return false;

  EncoderInit(context_.encoder);
  encoder_context_ = std::make_unique<EncoderThreadContext>(EncoderThreadContext{
      context_.encoder, context_.capture, context_.call, context_.keyframes, unconnected_sink_});
  encoder_thread_.Start(*encoder_context_);
  camera_started_ = CameraStart(camera_, context_.capture.preview, window_, OnCameraFrameCallback,
                                &frame_context_);
  CreatePeerBitmap(context_.peer_bitmap, context_.decoder.peer_width.load(),
                   context_.decoder.peer_height.load());

  if (!EnsureStudyFolder(context_.paths)) {
    Diag("study folder %s cannot be created", context_.paths.study_folder.c_str());
  }
  NoTelephonyLine no_line;
  context_.identity = ReadIdentity(context_.settings, no_line, window_);
  Diag("own number %s, user name %s", context_.identity.phone_number.c_str(),
       context_.identity.user_name.c_str());

  vibration_ = std::make_unique<VibrationThread>(window_);

  display_context_ = std::make_unique<DisplayContext>(
      DisplayContext{context_.decoder, context_.capture.preview, context_.peer_bitmap,
                     context_.call, context_.view, window_});
  display_thread_.Start(*display_context_);

  power_ = std::make_unique<PowerLayer>();
  if (!power_->SetUnattendedMode(true)) {
    window_.ShowMessageBox("Failed to place device in unattended mode", "Power Policy",
                           MessageBoxButtons::kOk);
  }
  if (!power_->RequireWlan()) Diag("SetPowerRequirement failed: %X", 0u);
  power_notifications_ = std::make_unique<PowerNotificationThread>(context_.shutdown);

  context_.program_start_time = LocalTimeStamp();

  int id_result = ReadDeviceId(context_.device_id);
  if (id_result < 0) {
    window_.ShowMessageBox("Unable to retrieve Unique Device ID", "Device ID",
                           MessageBoxButtons::kOk);
  }
  if (!data_connection_.Establish()) {
    window_.ShowMessageBox("connection failed (0x0)", "Connection", MessageBoxButtons::kOk);
  }

  if (ShouldLaunchUpdaterAtStartUp(context_.command_line.program_arguments)) {
    LaunchUpdater(program_dir_, UpdaterMode::kStartUp);
  }
  return true;
}

void Handset::RefreshStatusLine() {
  std::string text =
      StatusLineText(context_.peer_name, context_.status_ticks, context_.call.in_call.load(),
                     SecondCounters{}, context_.battery.percent());
  window_.SetControlText(kControlStatusLine, text);
}

void Handset::OnCommand(int command_id) {
  switch (command_id) {
    case kCommandMyName:
      if (context_.call.in_call.load()) {
        window_.MessageBeep(BeepKind::kQuestion);
        window_.ShowMessageBox(
            "Connection is active! Cannot change username. Please disconnect first.", "",
            MessageBoxButtons::kOk);
      }
      break;
    case kCommandCheckForUpdates:
      LaunchUpdater(program_dir_, UpdaterMode::kMenu);
      break;
    default:
      // Commands whose targets do not exist yet do nothing.
      break;
  }
}

void Handset::OnTimer(int timer_id) {
  if (timer_id == kTimerIdleReset) {
    if (power_) power_->ResetIdleTimer();
    window_.StartTimer(kTimerIdleReset, static_cast<int>(IdleResetIntervalMs(context_.settings)));
  }
}

void Handset::OnTextLogNotify(int wparam) {
  // Another program sent (0) or received (1) a text message.
  if (wparam == 0) context_.survey_triggers[8].Set();
  if (wparam == 1) context_.survey_triggers[7].Set();
}

void Handset::OnDestroy() {
  if (shut_down_) return;
  shut_down_ = true;
  context_.shutdown.Set();

  // End a running call before anything it uses goes away.
  { std::lock_guard lock(context_.connection_mutex); }
  // Let a study log write in progress finish.
  while (!context_.logging_mutex.try_lock()) SleepMs(1);
  context_.logging_mutex.unlock();

  if (camera_started_ || camera_.library) CameraStop(camera_, context_.capture, window_);
  camera_started_ = false;

  if (power_) {
    power_->SetUnattendedMode(false);
    power_->ReleaseWlan();
  }
  if (data_connection_.established()) data_connection_.Release();
  window_.KillTimer(kTimerStatusTick);
  StopThreads();
}

void Handset::StopThreads() {
  encoder_thread_.Stop();
  display_thread_.Stop();
  if (vibration_) vibration_->Stop();
  if (power_notifications_) power_notifications_->Stop();
}

}  // namespace kestrelio
