// One pass of the logging thread: under the Logging Mutex (skipped when it is busy),
// with one local time for every record of the pass,
//   1. the program log: on the first pass the previous runs' log is uploaded (not
//      during a call) and a line for this run appended; later passes bring this run's
//      last-seen time up to date in place;
//   2. the IP log: a line on the first pass and on every address change, which also
//      raises the ip_change survey;
//   3. the battery log, when the power status can be read.
#pragma once

#include <functional>
#include <mutex>
#include <string>

#include "study/battery_log.h"
#include "study/ip_log.h"
#include "study/study_readings.h"
#include "study/study_time.h"
#include "study/survey_trigger.h"

namespace kestrelio {

struct LoggingPassConfig {
  std::string study_folder;
  std::string program_start_time;  // study timestamp taken at start-up
  StudyReadings readings;
  // Uploads the program log; called holding the Logging Mutex. True when sent.
  std::function<bool()> upload_program_log;
  std::function<void(SurveyTrigger)> raise_trigger;
};

class LoggingPass {
 public:
  LoggingPass(LoggingPassConfig config, std::timed_mutex& logging_mutex);

  // One pass at local time `now`. False when the Logging Mutex was busy and the pass
  // was skipped.
  bool Run(const StudyTime& now);

  bool program_log_started() const { return program_log_started_; }

 private:
  void ProgramLogStep(const StudyTime& now);
  void IpLogStep(const StudyTime& now);
  void BatteryLogStep(const StudyTime& now);
  std::string PathOf(std::string_view file) const;
  std::string DeviceId() const;

  const LoggingPassConfig config_;
  std::timed_mutex& logging_mutex_;
  bool program_log_started_ = false;
  IpLogState ip_log_;
  BatteryLogState battery_log_;
};

}  // namespace kestrelio
