#include "app/handset.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

#include "app/power_notifications.h"
#include "base/diag.h"
#include "base/tick.h"
#include "base/window/ids.h"
#include "call/status_line.h"
#include "device/autostart.h"
#include "device/power_settings.h"
#include "device/server_address.h"
#include "device/sync.h"
#include "device/updater.h"
#include "study/study_time.h"
#include "study/survey_trigger.h"

namespace kestrelio {
namespace {

// "host:port" of a server: the command line's, else the settings store's.
std::string ServerText(const std::string& given, HostPort server, uint16_t default_port) {
  if (!given.empty()) {
    if (auto parsed = ParseHostPort(given, default_port)) server = *parsed;
  }
  return server.host + ":" + std::to_string(server.port);
}

}  // namespace

Handset::Handset(HandsetContext& context, Window& window, std::string program_dir, NetworkPlan plan)
    : context_(context),
      window_(window),
      program_dir_(std::move(program_dir)),
      plan_(plan),
      frame_context_{context.capture, context.call, context.media_settings, context.keyframes},
      transport_(window),
      media_channel_(MediaChannelContext{
          transport_, context.peer_link, context.call, context.decoder, context.keyframes,
          context.receive_counters, window, &context.media_statistics,
          &context.network_loss}) {
  context.decoder.statistics = &context.media_statistics;
}

Handset::~Handset() { StopThreads(); }

bool Handset::StartUp(const std::string& camera_library) {
  // The status line shows the battery from the first paint on.
  context_.battery.Refresh();
  window_.SetControlText(kControlStatusLine,
                         StatusLineText("", 0, false, {}, context_.battery.percent()));

  if (!CameraLoad(camera_library, camera_)) return false;

  EncoderInit(context_.encoder);
  encoder_context_ = std::make_unique<EncoderThreadContext>(EncoderThreadContext{
      context_.encoder, context_.capture, context_.call, context_.keyframes, media_channel_});
  if (!encoder_thread_.Start(*encoder_context_)) {
    window_.ShowMessageBox("Cannot create Encoder Data thread", "", MessageBoxButtons::kOk);
  }
  camera_started_ = CameraStart(camera_, context_.capture.preview, window_, OnCameraFrameCallback,
                                &frame_context_);
  CreatePeerBitmap(context_.peer_bitmap, context_.decoder.peer_width.load(),
                   context_.decoder.peer_height.load());

  if (!EnsureStudyFolder(context_.paths)) {
    Diag("study folder %s cannot be created", context_.paths.study_folder.c_str());
  }
  NoTelephonyLine no_line;
  const Identity read = ReadIdentity(context_.settings, no_line, window_);
  context_.identity.SetPhoneNumber(read.phone_number);
  context_.identity.SetUserName(read.user_name);
  Diag("own number %s, user name %s", read.phone_number.c_str(), read.user_name.c_str());
  // Every keep-alive carries the device ID, so it is read before the network starts.
  // Systems without /etc/machine-id usually keep the same ID where D-Bus puts it.
  if (ReadDeviceId(context_.device_id) < 0 &&
      ReadDeviceId(context_.device_id, "/var/lib/dbus/machine-id") < 0) {
    window_.ShowMessageBox("Unable to retrieve Unique Device ID", "Device ID",
                           MessageBoxButtons::kOk);
  }
  context_.identity.SetDeviceId(context_.device_id.text);

  vibration_ = std::make_unique<VibrationThread>(window_);
  if (!vibration_->Start()) {
    window_.ShowMessageBox("Cannot create Vibration thread", "", MessageBoxButtons::kOk);
  }
  power_ = std::make_unique<PowerLayer>();
  StartNetworking();

  display_context_ = std::make_unique<DisplayContext>(
      DisplayContext{context_.decoder, context_.capture.preview, context_.peer_bitmap,
                     context_.call, context_.view, window_});
  if (!display_thread_.Start(*display_context_)) {
    window_.ShowMessageBox("Cannot create video display thread", "", MessageBoxButtons::kOk);
    // The program ends: what start-up has begun (camera, network) stops in order first.
    OnDestroy();
    return false;
  }

  if (!power_->SetUnattendedMode(true)) {
    window_.ShowMessageBox("Failed to place device in unattended mode", "Power Policy",
                           MessageBoxButtons::kOk);
  }
  if (!power_->RequireWlan()) Diag("SetPowerRequirement failed: %X", 0u);
  power_notifications_ = std::make_unique<PowerNotificationThread>();
  power_notifications_->Start();

  context_.program_start_time = FormatStudyTimestamp(LocalStudyTime());
  if (!study_->Start(context_.program_start_time)) {
    window_.ShowMessageBox(study_->start_failure(), "", MessageBoxButtons::kOk);
    OnDestroy();
    return false;
  }
  if (const int code = data_connection_.Establish(plan_.presence_server); code != 0) {
    char text[64];
    std::snprintf(text, sizeof text, "connection failed (0x%x)", static_cast<unsigned>(code));
    window_.ShowMessageBox(text, "Connection", MessageBoxButtons::kOk);
  }
  if (ShouldLaunchUpdaterAtStartUp(context_.command_line.program_arguments)) {
    LaunchUpdater(program_dir_, UpdaterMode::kStartUp);
  }
  return true;
}

void Handset::StartNetworking() {
  study_files_ = std::make_unique<StudyFiles>(context_.paths.study_folder, context_.logging_mutex);
  notifier_ = std::make_unique<DesktopNotifier>();
  presence_ = std::make_unique<PresenceClient>(
      transport_, window_, context_.online_db, context_.call, context_.identity,
      PresenceClientConfig{plan_.presence_server, context_.command_line.bind_address},
      [this](std::string_view html) { return notifier_->ShowSignInBubble(html); });
  // Made before anything can raise a survey trigger; started once the program start
  // time is taken.
  study_ = std::make_unique<HandsetStudy>(context_, window_, *study_files_, *presence_);

  call_devices_ = std::make_unique<HandsetCallDevices>(
      window_,
      HandsetMediaPieces{context_.decoder, context_.encoder, context_.capture, context_.peer_bitmap,
                         [this] { media_channel_.ResetReceive(); },
                         [this] {
                           auto second = context_.receive_counters.TakeAndClear();
                           MediaSecond result;
                           result.frames_received = second.frames_received;
                           result.bytes_received = second.payload_bytes_received;
                           result.packets_missing = second.packets_missing;
                           return result;
                         }},
      HandsetDevicePieces{context_.battery, *power_, context_.settings, *vibration_, GpsConfig{},
                          [this](int index) { study_->SignalTrigger(index); }});
  sessions_ = std::make_unique<TransportSessions>(transport_);
  calls_ = std::make_unique<CallService>(CallServiceContext{
      window_, transport_, *presence_, context_.online_db, context_.peer_link, context_.call,
      context_.view, context_.identity, *call_devices_, *study_files_, *sessions_,
      context_.connection_mutex, plan_.presence_server,
      [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 10); },
      [this](int dialog_id) -> std::optional<PickedEntry> {
        if (!dialogs_) return std::nullopt;
        return dialogs_->PickEntry(dialog_id);
      },
      SignallingTimings{}, &context_.network_loss});
  StartDialogs();

  calls_->OnStatusLineShown();
  // Without the transmit buffer the network is not started at all; start-up goes on.
  if (!media_channel_.has_transmit_buffer()) {
    window_.ShowMessageBox("Cannot allocate data xmit buffer", "", MessageBoxButtons::kOk);
    return;
  }
  // Failures are shown by the transport. A socket that could not be bound is shown and
  // left closed; the rest of the network runs without it. A buffer or thread that could
  // not be made fails the start: the keep-alive is not started then either.
  TransportConfig config;
  config.bind_ipv4 = plan_.bind_ipv4;
  if (!transport_.Start(config, calls_->handler(), media_channel_)) {
    Diag("network not started: the transport could not make its buffers or threads");
    return;
  }
  presence_->Start();
}

void Handset::StartDialogs() {
  dialog_identity_ = std::make_unique<HandsetIdentity>(HandsetIdentityParts{
      window_, context_.settings, context_.identity, *presence_, context_.device_id.text,
      ServerText(context_.command_line.presence, PresenceServerAddress(context_.settings),
                 kDefaultPresencePort),
      ServerText(context_.command_line.study_server, StudyServerAddress(context_.settings),
                 kDefaultStudyPort)});
  dialog_settings_ = std::make_unique<HandsetSettings>(
      HandsetSettingsParts{window_, context_.encoder, context_.media_settings, *presence_,
                           AutostartEntryPath(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME")),
                           RunningProgramPath()});
  dialogs_ = std::make_unique<UserDialogs>(
      UserDialogsContext{window_, context_.online_db, *dialog_identity_, *dialog_settings_,
                         study_files_->HistoryPath(), &study_files_->history_lock(),
                         [this](std::string_view name) { calls_->chat().SetPeerName(name); },
                         [this] { return context_.call.in_call.load(); },
                         [this] { LaunchUpdater(program_dir_, UpdaterMode::kMenu); }});
}

void Handset::OnCommand(int command_id) {
  if (calls_ && calls_->OnCommand(command_id)) return;
  // The File menu's dialogs; before start-up has made them, commands do nothing.
  if (dialogs_) dialogs_->OnCommand(command_id);
}

void Handset::OnTimer(int timer_id) {
  if (calls_) calls_->OnTimer(timer_id);
}

void Handset::OnTextLogNotify(int wparam) {
  // Another program sent (0) or received (1) a text message.
  if (!study_) return;
  if (wparam == 0) study_->SignalTrigger(SurveyTriggerIndex(SurveyTrigger::kSentText));
  if (wparam == 1) study_->SignalTrigger(SurveyTriggerIndex(SurveyTrigger::kReceiveText));
}

void Handset::OnStatusLineShown() {
  if (calls_) calls_->OnStatusLineShown();
}

void Handset::OnDestroy() {
  if (shut_down_) return;
  shut_down_ = true;
  context_.shutdown.Set();

  // A running call is released and logged before anything it uses goes away.
  if (calls_) calls_->Shutdown();
  // The study threads end (an upload in progress is broken off); survey dialogs were
  // let go when the window began to close.
  if (study_) study_->Stop();
  // Let a study log write in progress finish.
  LockByPolling(context_.logging_mutex, [] { SleepMs(1); });
  context_.logging_mutex.unlock();

  if (presence_) presence_->Stop();
  transport_.Stop();
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
  if (study_) study_->Stop();
  encoder_thread_.Stop();
  display_thread_.Stop();
  if (presence_) presence_->Stop();
  transport_.Stop();
  if (vibration_) vibration_->Stop();
  if (power_notifications_) power_notifications_->Stop();
}

}  // namespace kestrelio
