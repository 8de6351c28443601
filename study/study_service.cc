#include "study/study_service.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "base/diag.h"
#include "base/timer_scale.h"
#include "study/hourly_uploads.h"
#include "study/survey_dialog.h"
#include "study/survey_fetch.h"
#include "study/survey_page.h"

namespace kestrelio {

StudyService::StudyService(StudyOptions options)
    : options_(std::move(options)), files_(options_.files) {
  if (files_ == nullptr) {
    own_files_ = std::make_unique<StudyFiles>(options_.study_folder, options_.logging_mutex);
    files_ = own_files_.get();
  }
}

StudyService::~StudyService() { Stop(); }

StudyTime StudyService::Now() const { return options_.clock ? options_.clock() : LocalStudyTime(); }

std::string StudyService::DeviceId() const {
  return options_.readings.device_id ? options_.readings.device_id() : std::string();
}

UploadContext StudyService::MakeUploadContext(std::stop_token stop) const {
  return UploadContext{options_.study_folder, options_.server, options_.timeouts, options_.clock,
                       std::move(stop)};
}

bool StudyService::Start(std::string program_start_time) {
  if (logging_thread_.Running() || field_study_thread_.Running() || survey_thread_.Running()) {
    Diag("study threads already running");
    return false;
  }
  if (!program_start_time.empty()) options_.program_start_time = std::move(program_start_time);
  if (options_.program_start_time.empty()) {
    options_.program_start_time = FormatStudyTimestamp(Now());
  }
  upload_now_stop_ = std::stop_source();
  LoggingPassConfig pass;
  pass.study_folder = options_.study_folder;
  pass.program_start_time = options_.program_start_time;
  pass.readings = options_.readings;
  pass.upload_program_log = [this] {
    return UploadStudyFile(StudyUpload::kProgramLog, MakeUploadContext(logging_thread_.Token()))
        .sent;
  };
  pass.raise_trigger = [this](SurveyTrigger trigger) { triggers_.Raise(trigger); };
  logging_pass_ = std::make_unique<LoggingPass>(std::move(pass), options_.logging_mutex);

  // The field study thread first, then the survey launch thread, then the logging thread.
  start_failure_ = {};
  if (!field_study_thread_.Start("field study",
                                 [this](std::stop_token stop) { RunFieldStudy(stop); })) {
    start_failure_ = "Cannot create field study thread";
  } else if (!survey_thread_.Start("survey", [this](std::stop_token stop) { RunSurveys(stop); })) {
    start_failure_ = "Cannot create survey launch thread";
  } else if (!logging_thread_.Start("study logging",
                                    [this](std::stop_token stop) { RunLogging(stop); })) {
    start_failure_ = "Cannot create logging thread";
  }
  const bool started = start_failure_.empty();
  if (!started) Stop();
  return started;
}

void StudyService::Stop() {
  upload_now_stop_.request_stop();
  logging_thread_.Stop();
  field_study_thread_.Stop();
  survey_thread_.Stop();
}

void StudyService::RunLogging(std::stop_token stop) {
  const int period_ms = ScaledPeriodMs(options_.periods.logging_pass_ms);
  while (!stop.stop_requested()) {
    if (!logging_thread_.SleepFor(period_ms)) break;
    logging_pass_->Run(Now());
  }
}

void StudyService::RunFieldStudy(std::stop_token stop) {
  const int period_ms = ScaledPeriodMs(options_.periods.upload_ms);
  while (!stop.stop_requested()) {
    if (!field_study_thread_.SleepFor(period_ms)) break;
    RunHourlyUploads(MakeUploadContext(stop), options_.logging_mutex, options_.readings.in_call);
  }
}

std::array<bool, 4> StudyService::UploadNow() {
  return RunHourlyUploads(MakeUploadContext(upload_now_stop_.get_token()), options_.logging_mutex,
                          options_.readings.in_call);
}

bool StudyService::SignalTrigger(int index) {
  const std::optional<SurveyTrigger> trigger = SurveyTriggerFromIndex(index);
  if (!trigger) return false;
  triggers_.Raise(*trigger);
  return true;
}

void StudyService::SignalTrigger(SurveyTrigger trigger) { triggers_.Raise(trigger); }

void StudyService::RunSurveys(std::stop_token stop) {
  while (!stop.stop_requested()) {
    const std::optional<SurveyTrigger> trigger = triggers_.WaitAndTake(stop);
    if (!trigger) break;
    RunSurvey(*trigger, stop);
  }
}

void StudyService::RunSurvey(SurveyTrigger trigger, std::stop_token stop) {
  const std::string_view name = SurveyTriggerName(trigger);
  const std::string device_id = DeviceId();
  const SurveyFetch fetch =
      FetchSurveyPage(options_.server, device_id, name, options_.timeouts, stop);
  if (!fetch.page) {
    Diag("survey for %.*s not fetched: %s", static_cast<int>(name.size()), name.data(),
         fetch.status.c_str());
    return;
  }
  SurveyPageParse parse = ParseSurveyPage(*fetch.page);
  if (parse.error != SurveyPageError::kNone) {
    const std::string_view why = SurveyPageErrorText(parse.error);
    Diag("survey page for %.*s refused: %.*s", static_cast<int>(name.size()), name.data(),
         static_cast<int>(why.size()), why.data());
    return;
  }
  SurveyPage& page = parse.page;
  for (size_t entry = 0; entry < kSurveyEntries; ++entry) {
    if (!page.entries[entry] || stop.stop_requested()) break;
    SurveyDialog dialog(SurveyDialogContext{options_.window, trigger, device_id, options_.clock,
                                            [this](const std::string& record) {
                                              files_->AppendSurveyResponse(record);
                                            }},
                        *page.entries[entry]);
    const int result = options_.window.RunDialog(kSurveyDialogId, dialog);
    if (dialog.ends_survey()) page.entries[1].reset();
    if (result < 0) break;  // the window is closing or has no such dialog
  }
}

std::vector<std::string> StudyService::Files() const {
  std::vector<std::string> names;
  std::error_code error;
  for (std::filesystem::directory_iterator it(options_.study_folder, error), end;
       !error && it != end; it.increment(error)) {
    if (it->is_regular_file(error)) names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace kestrelio
