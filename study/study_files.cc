#include "study/study_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "base/diag.h"
#include "study/study_text.h"
#include "base/timer_scale.h"

namespace kestrelio {
namespace {

constexpr auto kMutexRetry = std::chrono::milliseconds(200);

int OpenForAppend(const std::string& path, int access) {
  return ::open(path.c_str(), access | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
}

// Polls rather than try_lock_for: the timed wait is invisible to the thread sanitizer,
// which then reports every later unlock as an error. The path is rare and not hot.
bool LockWithin(std::timed_mutex& mutex, std::chrono::milliseconds limit) {
  constexpr auto kPoll = std::chrono::milliseconds(10);
  for (auto waited = std::chrono::milliseconds(0);; waited += kPoll) {
    if (mutex.try_lock()) return true;
    if (waited >= limit) return false;
    std::this_thread::sleep_for(kPoll);
  }
}

// Whether the open file has bytes and the last is not a line end.
bool EndsInsideALine(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0 || info.st_size <= 0) return false;
  char last = '\n';
  return ::pread(fd, &last, 1, info.st_size - 1) == 1 && last != '\n';
}

std::string WithTrailingSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder.push_back('/');
  return folder;
}

}  // namespace

bool AppendLine(const std::string& path, std::string_view line) {
  int fd = OpenForAppend(path, O_RDWR);
  if (fd < 0 && errno == ENOENT) {
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    fd = OpenForAppend(path, O_RDWR);
  }
  if (fd < 0) {
    Diag("cannot open %s for appending: %s", path.c_str(), std::strerror(errno));
    return false;
  }
  // A last line without its line end (a write cut short) is closed first, so the new
  // line is not glued onto it.
  std::string closed_line;
  if (EndsInsideALine(fd)) {
    closed_line.reserve(line.size() + 2);
    closed_line.append("\r\n").append(line);
    line = closed_line;
  }
  size_t written = 0;
  bool ok = true;
  // One write puts the whole line in place; the loop only finishes a short write.
  while (written < line.size()) {
    ssize_t n = ::write(fd, line.data() + written, line.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      Diag("cannot append to %s: %s", path.c_str(), std::strerror(errno));
      ok = false;
      break;
    }
    written += static_cast<size_t>(n);
  }
  if (::close(fd) != 0 && ok) {
    Diag("cannot close %s: %s", path.c_str(), std::strerror(errno));
    ok = false;
  }
  return ok;
}

StudyFiles::StudyFiles(std::string study_folder, std::timed_mutex& logging_mutex)
    : folder_(WithTrailingSlash(std::move(study_folder))), logging_mutex_(logging_mutex) {
  // Without the writer a busy mutex still queues records; they are written at close.
  writer_.Start("study writer", [this](std::stop_token stop) { RunWriter(stop); });
}

StudyFiles::~StudyFiles() {
  writer_.Stop();
  DrainOnClose();
}

bool StudyFiles::AppendCallRecord(const CallRecord& record) {
  return AppendLogged(CallLogPath(), FormatCallRecord(record));
}

bool StudyFiles::AppendUnansweredCall(const UnansweredCallRecord& record) {
  return AppendLogged(CallLogPath(), FormatUnansweredCall(record));
}

bool StudyFiles::AppendSurveyResponse(std::string_view record) {
  return AppendLogged(SurveyResultsPath(), std::string(record));
}

bool StudyFiles::AppendHistoryLine(std::string_view name, std::string_view number,
                                   HistoryMark mark) {
  return AppendHistoryLine(name, number, mark, LocalStudyTime());
}

bool StudyFiles::AppendHistoryLine(std::string_view name, std::string_view number, HistoryMark mark,
                                   const StudyTime& time) {
  const std::string line = FormatHistoryLine(mark, time, name, number);
  std::lock_guard lock(history_mutex_);
  return AppendLine(HistoryPath(), line);
}

bool StudyFiles::AppendLogged(std::string path, std::string text) {
  {
    std::lock_guard queue_lock(queue_mutex_);
    if (!pending_.empty()) {
      // Earlier records still wait for the mutex: this one goes behind them.
      pending_.push_back({std::move(path), std::move(text)});
      queue_changed_.notify_all();
      return true;
    }
  }
  std::unique_lock log_lock(logging_mutex_, std::try_to_lock);
  if (!log_lock.owns_lock()) {
    Diag("Logging Mutex busy: record for %s queued until it is free", path.c_str());
    std::lock_guard queue_lock(queue_mutex_);
    pending_.push_back({std::move(path), std::move(text)});
    queue_changed_.notify_all();
    return true;
  }
  if (AppendLine(path, text)) return true;
  // Not now: the record waits in the queue and the writer tries again.
  log_lock.unlock();
  std::lock_guard queue_lock(queue_mutex_);
  ++failed_writes_;
  retry_later_ = true;
  pending_.push_back({std::move(path), std::move(text)});
  Diag("study record kept in memory (%zu waiting); retried every %d ms", pending_.size(),
       ScaledPeriodMs(kRetryMs));
  queue_changed_.notify_all();
  return true;
}

void StudyFiles::RunWriter(std::stop_token stop) {
  while (!stop.stop_requested()) {
    {
      std::unique_lock queue_lock(queue_mutex_);
      if (retry_later_) {
        // The file did not take the last try: wait, unless stopped, before the next.
        queue_changed_.wait_for(queue_lock, stop,
                                std::chrono::milliseconds(ScaledPeriodMs(kRetryMs)),
                                [] { return false; });
        if (stop.stop_requested()) break;
        retry_later_ = false;
      }
      queue_changed_.wait(queue_lock, stop, [this] { return !pending_.empty(); });
      if (pending_.empty()) continue;
    }
    if (!LockWithin(logging_mutex_, kMutexRetry)) continue;
    {
      std::lock_guard log_lock(logging_mutex_, std::adopt_lock);
      std::lock_guard queue_lock(queue_mutex_);
      writing_ = true;
      // In order; a record leaves the queue only once it is in the file.
      while (!pending_.empty()) {
        if (!AppendLine(pending_.front().path, pending_.front().text)) {
          ++failed_writes_;
          retry_later_ = true;
          Diag("%zu study records wait for their file to be writable", pending_.size());
          break;
        }
        pending_.pop_front();
      }
    }
    // Only now is the mutex free again: a record made after WaitUntilWritten returns
    // goes straight into the file.
    {
      std::lock_guard queue_lock(queue_mutex_);
      writing_ = false;
    }
    queue_changed_.notify_all();
  }
}

void StudyFiles::DrainOnClose() {
  // Give the mutex's holder a last, bounded chance.
  std::unique_lock queue_lock(queue_mutex_);
  if (pending_.empty()) return;
  queue_lock.unlock();
  bool locked = LockWithin(logging_mutex_, std::chrono::milliseconds(kDrainOnCloseMs));
  std::unique_lock log_lock(logging_mutex_, std::defer_lock);
  if (locked) log_lock = std::unique_lock(logging_mutex_, std::adopt_lock);
  queue_lock.lock();
  for (const PendingRecord& record : pending_) {
    if (!locked || !AppendLine(record.path, record.text)) {
      Diag("record for %s lost at close: %s", record.path.c_str(),
           OneLineField(record.text).c_str());
    }
  }
  pending_.clear();
  queue_changed_.notify_all();
}

size_t StudyFiles::PendingRecords() const {
  std::lock_guard queue_lock(queue_mutex_);
  return pending_.size();
}

uint64_t StudyFiles::FailedWrites() const {
  std::lock_guard queue_lock(queue_mutex_);
  return failed_writes_;
}

bool StudyFiles::WaitUntilWritten(int timeout_ms) {
  std::unique_lock queue_lock(queue_mutex_);
  return queue_changed_.wait_for(queue_lock, std::chrono::milliseconds(timeout_ms),
                                 [this] { return pending_.empty() && !writing_; });
}

}  // namespace kestrelio
