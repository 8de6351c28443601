// The handset's field-study machinery in one object: the logging thread (program, IP
// and battery logs every 10 s), the field study thread (hourly uploads) and the survey
// launch thread (questions after a trigger), built from one options record.
//
//   readings ──> logging thread ──> programlog/iplog/batterylog ──┐
//                      │ ip_change                                │ Logging Mutex
//   SignalTrigger ──> survey launch thread ──> dialog 140 ──> survey_results
//                                                                 │
//   field study thread / UploadNow ──> POST to the study server ──┘ rotated names
//
// Periods are scaled by KESTRELIO_TIMER_SCALE. Stop() ends and joins the three threads;
// a survey dialog on screen holds the survey thread until the window lets it go (the
// main window does so when it closes).
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "base/window/window.h"
#include "base/worker.h"
#include "study/http_request.h"
#include "study/log_upload.h"
#include "study/logging_pass.h"
#include "study/study_files.h"
#include "study/study_readings.h"
#include "study/study_time.h"
#include "study/survey_trigger.h"

namespace kestrelio {

struct StudyPeriods {
  int logging_pass_ms = 10000;
  int upload_ms = 3600000;
};

struct StudyOptions {
  std::string study_folder;
  std::timed_mutex& logging_mutex;
  Window& window;  // owns the survey dialogs
  StudyReadings readings;
  StudyServer server;
  // The writer the call records go through, so that survey responses queue in the
  // same order behind a busy Logging Mutex; null: the service makes its own.
  StudyFiles* files = nullptr;
  std::string program_start_time;  // study timestamp; empty: taken by Start()
  HttpTimeouts timeouts;
  StudyPeriods periods;              // before scaling
  std::function<StudyTime()> clock;  // null: local time
};

class StudyService {
 public:
  explicit StudyService(StudyOptions options);
  ~StudyService();
  StudyService(const StudyService&) = delete;
  StudyService& operator=(const StudyService&) = delete;

  // Starts the three threads; false when one could not be started (the others are
  // stopped again), and start_failure() names it. A non-empty `program_start_time`
  // (study timestamp) replaces the options' one.
  bool Start(std::string program_start_time = {});
  // "Cannot create field study thread", "... survey launch ...", "... logging ...", or
  // empty when the last Start() succeeded.
  std::string_view start_failure() const { return start_failure_; }
  // Stops and joins them; safe to call twice.
  void Stop();

  // The four hourly uploads at once, on the calling thread (the remote command
  // "upload-now"): survey results, call log, battery log, IP log.
  std::array<bool, 4> UploadNow();
  // Raises survey trigger `index` (0-9); false for any other index.
  bool SignalTrigger(int index);
  void SignalTrigger(SurveyTrigger trigger);
  std::array<bool, kSurveyTriggerKinds> RaisedTriggers() const { return triggers_.Raised(); }

  // The names of the files in the study folder, sorted.
  std::vector<std::string> Files() const;
  StudyFiles& files() { return *files_; }

 private:
  StudyTime Now() const;
  UploadContext MakeUploadContext(std::stop_token stop) const;
  void RunLogging(std::stop_token stop);
  void RunFieldStudy(std::stop_token stop);
  void RunSurveys(std::stop_token stop);
  void RunSurvey(SurveyTrigger trigger, std::stop_token stop);
  std::string DeviceId() const;

  StudyOptions options_;
  CurlLibrary curl_;
  std::unique_ptr<StudyFiles> own_files_;
  StudyFiles* files_;
  SurveyTriggers triggers_;
  std::unique_ptr<LoggingPass> logging_pass_;
  std::stop_source upload_now_stop_;
  std::string_view start_failure_;
  Worker logging_thread_;
  Worker field_study_thread_;
  Worker survey_thread_;
};

}  // namespace kestrelio
