// Appends the call log records, the survey responses and the history lines in the study
// folder.
//
// The call log and the survey results are shared with the uploader, which renames them
// away under the Logging Mutex, so every such record is appended holding that mutex. A
// record is the study's data and must not be lost to a busy mutex: when the mutex is
// held (an upload in progress) the record is queued, and a writer thread appends the
// queue, in order, as soon as the mutex is free. Later records queue behind earlier ones
// so each file keeps its order. The history file is not uploaded; its own lock keeps
// appends apart from the History dialog's trimming of the file.
//
// A record that cannot be written now (a read-only or missing study folder, a full
// disk) is not dropped: it stays queued, in order, and the writer tries again every
// kRetryMs until it goes in; every failed pass is counted (FailedWrites) and reported
// on the diagnostic output.
//
// Each line goes out in one write() on a file opened for appending (created when
// missing, with the study folder), and always starts a line of its own: a file whose
// last line has no line end (cut short by an earlier crash, say) gets one first.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>

#include "base/worker.h"
#include "study/call_log.h"
#include "study/history_file.h"
#include "study/study_time.h"

namespace kestrelio {

inline constexpr std::string_view kCallLogFile = "calllog.txt";
inline constexpr std::string_view kHistoryFile = "history_info.txt";
inline constexpr std::string_view kSurveyResultsFile = "survey_results.txt";

// Appends `line` to `path` with one write (creating the file, and its folder, when
// missing), after a line end when the file does not end with one. False with a
// diagnostic line when it could not be written whole.
bool AppendLine(const std::string& path, std::string_view line);

class StudyFiles {
 public:
  // `study_folder` ends with '/' or not. The Logging Mutex belongs to the handset
  // context and outlives this object. Starts the writer thread.
  StudyFiles(std::string study_folder, std::timed_mutex& logging_mutex);
  // Stops the writer, then waits up to kDrainOnCloseMs for the mutex to write what is
  // still queued; what cannot be written by then is reported line by line on the
  // diagnostic output.
  ~StudyFiles();
  StudyFiles(const StudyFiles&) = delete;
  StudyFiles& operator=(const StudyFiles&) = delete;

  static constexpr int kDrainOnCloseMs = 5000;
  // Pause between two tries at records that could not be written (scaled by
  // KESTRELIO_TIMER_SCALE).
  static constexpr int kRetryMs = 2000;

  // True when the record was written, or queued: because the Logging Mutex was busy or
  // the file could not be written now. A queued record is written as soon as it can be.
  bool AppendCallRecord(const CallRecord& record);
  bool AppendUnansweredCall(const UnansweredCallRecord& record);
  // A formatted survey response (several CR LF lines), queued like a call record when
  // the Logging Mutex is busy.
  bool AppendSurveyResponse(std::string_view record);
  // Uses the local time now. False when the file could not be written.
  bool AppendHistoryLine(std::string_view name, std::string_view number, HistoryMark mark);
  bool AppendHistoryLine(std::string_view name, std::string_view number, HistoryMark mark,
                         const StudyTime& time);

  // Call log lines waiting for the mutex or for the file to take them.
  size_t PendingRecords() const;
  // Passes that found the call log unwritable since start.
  uint64_t FailedWrites() const;
  // Waits until the queue is empty or `timeout_ms` passes; true when empty.
  bool WaitUntilWritten(int timeout_ms);

  // Held by every history append; whoever replaces the history file holds it too, so
  // no line can be appended to a file that is about to be replaced.
  std::mutex& history_lock() { return history_mutex_; }

  const std::string& folder() const { return folder_; }
  std::string CallLogPath() const { return folder_ + std::string(kCallLogFile); }
  std::string HistoryPath() const { return folder_ + std::string(kHistoryFile); }
  std::string SurveyResultsPath() const { return folder_ + std::string(kSurveyResultsFile); }

 private:
  struct PendingRecord {
    std::string path;
    std::string text;
  };

  bool AppendLogged(std::string path, std::string text);
  void RunWriter(std::stop_token stop);
  // After the writer has stopped (or never ran): the last, bounded chance for the queue.
  void DrainOnClose();

  const std::string folder_;  // with a trailing '/'
  std::timed_mutex& logging_mutex_;
  std::mutex history_mutex_;

  mutable std::mutex queue_mutex_;
  std::condition_variable_any queue_changed_;
  std::deque<PendingRecord> pending_;
  bool writing_ = false;  // the writer holds the Logging Mutex (under queue_mutex_)
  bool retry_later_ = false;    // the last try failed: wait kRetryMs (under queue_mutex_)
  uint64_t failed_writes_ = 0;  // under queue_mutex_
  Worker writer_;
};

}  // namespace kestrelio
