#include "app/handset_study.h"

#include <optional>

#include "base/diag.h"
#include "device/battery.h"
#include "device/gps.h"
#include "device/server_address.h"

namespace kestrelio {
namespace {

PositionReading ReadPosition() {
  GpsPosition fix;
  const GpsOutcome outcome = GetPositionFix(fix);
  PositionReading reading;
  reading.status = outcome.status == GpsStatus::kOk           ? PositionStatus::kOk
                   : outcome.status == GpsStatus::kOpenFailed ? PositionStatus::kOpenFailed
                                                              : PositionStatus::kNoPosition;
  reading.error = outcome.error;
  reading.position =
      LoggedPosition{fix.latitude, fix.longitude, fix.speed_knots, fix.satellites_used};
  return reading;
}

std::optional<PowerReading> ReadPower() {
  const std::optional<PowerStatus> status = ReadPowerStatus();
  if (!status) return std::nullopt;
  return PowerReading{status->ac_line_status, status->battery_percent};
}

}  // namespace

StudyServer ChooseStudyServer(const std::string& command_line_value, SettingsStore& settings) {
  std::optional<HostPort> chosen;
  if (!command_line_value.empty()) {
    chosen = ParseHostPort(command_line_value, kDefaultStudyPort);
    if (!chosen) {
      Diag("study server \"%s\" is not host[:port]; using the settings",
           command_line_value.c_str());
    }
  }
  if (!chosen) chosen = StudyServerAddress(settings);
  return StudyServer{chosen->host, chosen->port};
}

HandsetStudy::HandsetStudy(HandsetContext& context, Window& window, StudyFiles& files,
                           const PresenceClient& presence)
    : folder_(context.paths.study_folder),
      service_(MakeOptions(context, window, files, presence)) {}

HandsetStudy::~HandsetStudy() { Stop(); }

StudyOptions HandsetStudy::MakeOptions(HandsetContext& context, Window& window, StudyFiles& files,
                                       const PresenceClient& presence) const {
  StudyReadings readings;
  readings.device_id = [&context] { return context.identity.device_id(); };
  readings.own_public_address = [&presence] { return presence.OwnPublicAddressText(); };
  readings.own_local_address = [&presence] { return presence.OwnLocalAddress(); };
  readings.power = ReadPower;
  readings.position = ReadPosition;
  readings.in_call = [&context] { return context.call.in_call.load(); };
  const StudyServer server = ChooseStudyServer(context.command_line.study_server, context.settings);
  Diag("study server %s:%d", server.host.c_str(), server.port);
  return StudyOptions{folder_,        context.logging_mutex,
                      window,         std::move(readings),
                      server,         &files,
                      std::string(),  HttpTimeouts{},
                      StudyPeriods{}, std::function<StudyTime()>()};
}

bool HandsetStudy::Start(const std::string& program_start_time) {
  return service_.Start(program_start_time);
}

void HandsetStudy::Stop() {
  stopped_ = true;
  // The service's stop also ends an upload-now request on the upload thread.
  service_.Stop();
  upload_thread_.Stop();
}

bool HandsetStudy::SignalTrigger(int index) { return service_.SignalTrigger(index); }

bool HandsetStudy::UploadNow(UploadDone done) {
  if (stopped_ || upload_running_.exchange(true)) return false;
  upload_thread_.Stop();  // the previous request's thread has ended; join it
  const bool started =
      upload_thread_.Start("upload now", [this, done = std::move(done)](std::stop_token) {
        const std::array<bool, 4> sent = service_.UploadNow();
        upload_running_ = false;
        if (done) done(sent);
      });
  if (!started) upload_running_ = false;
  return started;
}

}  // namespace kestrelio
