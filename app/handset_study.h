// The handset's field study: the StudyService (logging, field study and survey launch
// threads) fed with the handset's own readings, every survey trigger routed to it, and
// the remote control's "upload-now" run on a thread of its own so that nobody waits
// for the study server.
//
//   call control / signalling / missed call / textlognotify ──> SignalTrigger(index)
//   device ID, presence addresses, power, GPS, in-call flag ──> StudyReadings
//   "upload-now" ──> upload thread ──> StudyService::UploadNow ──> done(results)
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/handset_context.h"
#include "base/window/window.h"
#include "base/worker.h"
#include "net/presence/presence_client.h"
#include "study/study_files.h"
#include "study/study_service.h"

namespace kestrelio {

// The study server: the command line's "host[:port]" when it parses, else the
// settings store's StudyServer (default 127.0.0.1:80).
StudyServer ChooseStudyServer(const std::string& command_line_value, SettingsStore& settings);

class HandsetStudy {
 public:
  using UploadDone = std::function<void(const std::array<bool, 4>& sent)>;

  // Nothing runs until Start(); triggers raised before it wait for the survey thread.
  HandsetStudy(HandsetContext& context, Window& window, StudyFiles& files,
               const PresenceClient& presence);
  ~HandsetStudy();
  HandsetStudy(const HandsetStudy&) = delete;
  HandsetStudy& operator=(const HandsetStudy&) = delete;

  // False when a study thread could not be created; start_failure() has the box text.
  bool Start(const std::string& program_start_time);
  std::string_view start_failure() const { return service_.start_failure(); }
  // Ends an upload in progress and joins every study thread; safe to call twice.
  void Stop();

  // Raises survey trigger `index`; false (and nothing raised) outside 0-9.
  bool SignalTrigger(int index);
  std::array<bool, kSurveyTriggerKinds> RaisedTriggers() const { return service_.RaisedTriggers(); }

  // The four hourly uploads now, on the upload thread; `done` runs there with the results
  // (survey results, call log, battery log, IP log). False, and `done` never runs, while
  // an earlier one is still running or once the study has stopped.
  bool UploadNow(UploadDone done);

  const std::string& folder() const { return folder_; }
  std::vector<std::string> Files() const { return service_.Files(); }

 private:
  StudyOptions MakeOptions(HandsetContext& context, Window& window, StudyFiles& files,
                           const PresenceClient& presence) const;

  const std::string folder_;
  StudyService service_;
  Worker upload_thread_;
  std::atomic<bool> upload_running_{false};
  bool stopped_ = false;  // GUI thread
};

}  // namespace kestrelio
