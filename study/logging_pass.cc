#include "study/logging_pass.h"

#include "base/diag.h"
#include "study/program_log.h"
#include "study/study_files.h"

namespace kestrelio {

LoggingPass::LoggingPass(LoggingPassConfig config, std::timed_mutex& logging_mutex)
    : config_(std::move(config)), logging_mutex_(logging_mutex) {}

bool LoggingPass::Run(const StudyTime& now) {
  std::unique_lock lock(logging_mutex_, std::try_to_lock);
  if (!lock.owns_lock()) return false;
  ProgramLogStep(now);
  IpLogStep(now);
  BatteryLogStep(now);
  return true;
}

std::string LoggingPass::PathOf(std::string_view file) const {
  std::string path = config_.study_folder;
  if (path.empty() || path.back() != '/') path.push_back('/');
  path.append(file);
  return path;
}

std::string LoggingPass::DeviceId() const {
  return config_.readings.device_id ? config_.readings.device_id() : std::string();
}

void LoggingPass::ProgramLogStep(const StudyTime& now) {
  const std::string path = PathOf(kProgramLogFile);
  if (program_log_started_) {
    UpdateProgramLog(path, DeviceId(), config_.program_start_time, now);
    return;
  }
  const bool in_call = config_.readings.in_call && config_.readings.in_call();
  const bool sent = !in_call && config_.upload_program_log && config_.upload_program_log();
  Diag("%s", sent ? "Program log sent!" : "Program log sending failed.");
  program_log_started_ = true;
  AppendLine(path, FormatProgramLine(DeviceId(), config_.program_start_time, now));
}

void LoggingPass::IpLogStep(const StudyTime& now) {
  const std::string public_address =
      config_.readings.own_public_address ? config_.readings.own_public_address() : std::string();
  const std::string local_address =
      config_.readings.own_local_address ? config_.readings.own_local_address() : std::string();
  const std::string current = CurrentLoggedAddress(public_address, local_address);
  const std::optional<IpLogLine> line = ip_log_.Step(current);
  if (!line) return;

  LoggedPosition position;
  if (config_.readings.position) {
    const PositionReading reading = config_.readings.position();
    position = reading.position;
    if (reading.status == PositionStatus::kOpenFailed) {
      Diag("GPS Device failed to open! (%d)", reading.error);
    } else if (reading.status == PositionStatus::kNoPosition) {
      Diag("GPS Device failed to get position! (%d)", reading.error);
    }
  }
  AppendLine(PathOf(kIpLogFile), FormatIpLine(DeviceId(), *line, current, now, position));
  if (*line == IpLogLine::kChanged && config_.raise_trigger) {
    config_.raise_trigger(SurveyTrigger::kIpChange);
  }
}

void LoggingPass::BatteryLogStep(const StudyTime& now) {
  if (!config_.readings.power) return;
  const std::optional<PowerReading> power = config_.readings.power();
  if (!power) return;
  const std::optional<BatteryLogLine> line = battery_log_.Step(power->ac_line);
  if (!line) return;
  AppendLine(PathOf(kBatteryLogFile),
             FormatBatteryLine(DeviceId(), *line, now, power->battery_percent));
}

}  // namespace kestrelio
