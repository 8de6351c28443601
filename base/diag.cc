#include "base/diag.h"

#include <pthread.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>

#include "base/diag_fold.h"

namespace kestrelio {

struct DiagFileScope::State {
  std::unique_ptr<RotatingLogFile> file;
};

namespace {

// The logger is the single deliberate process-wide object (see diag.h).
struct Logger {
  std::mutex mutex;
  DiagFileScope::State* sink = nullptr;
  std::atomic<bool> quiet{false};
  DiagFolder folder;  // under `mutex`
};

// Writes one finished line (after its stamp) to stderr and the file sink; under the
// logger's mutex.
void EmitLocked(Logger& logger, const char* stamp, const char* thread_name, const char* text) {
  if (!logger.quiet.load(std::memory_order_relaxed)) {
    std::fprintf(stderr, "%s [%s] %s\n", stamp, thread_name, text);
  }
  if (logger.sink != nullptr && logger.sink->file != nullptr) {
    char line[1200];
    std::snprintf(line, sizeof line, "%s [%s] %s", stamp, thread_name, text);
    logger.sink->file->WriteLine(line);
  }
}

void EmitFoldedLocked(Logger& logger, const char* stamp, const char* thread_name,
                      const DiagFolder::Folded& folded) {
  char text[320];
  FormatFoldedLine(folded, text, sizeof text);
  EmitLocked(logger, stamp, thread_name, text);
}

uint64_t MonotonicMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

Logger& TheLogger() {
  static Logger logger;
  return logger;
}

}  // namespace

void Diag(const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (n < 0) return;
  size_t len = static_cast<size_t>(n) < sizeof text ? static_cast<size_t>(n) : sizeof text - 1;
  while (len > 0 && (text[len - 1] == '\n' || text[len - 1] == '\r')) text[--len] = '\0';

  char thread_name[16] = "?";
  pthread_getname_np(pthread_self(), thread_name, sizeof thread_name);
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03ld", local.tm_hour, local.tm_min,
                local.tm_sec, now.tv_nsec / 1000000);

  const uint64_t now_ms = MonotonicMs();
  Logger& logger = TheLogger();
  std::lock_guard lock(logger.mutex);
  // Lines from one call site beyond a few in a while are counted, not written: junk
  // from outside must not fill the log (base/diag_fold.h).
  DiagFolder::FoldedList expired;
  const size_t expired_count = logger.folder.Expired(now_ms, expired);
  for (size_t i = 0; i < expired_count; ++i) {
    if (expired[i].format != format) EmitFoldedLocked(logger, stamp, thread_name, expired[i]);
  }
  uint32_t folded = 0;
  const bool admitted = logger.folder.Admit(format, now_ms, &folded);
  for (size_t i = 0; i < expired_count; ++i) {
    if (expired[i].format == format) folded += expired[i].count;
  }
  if (folded != 0) EmitFoldedLocked(logger, stamp, thread_name, {format, folded});
  if (admitted) EmitLocked(logger, stamp, thread_name, text);
}

DiagFileScope::DiagFileScope(const std::string& path) : previous_(nullptr), state_(new State) {
  // The log rotates at its size limit, so a run keeps at most two files' worth.
  state_->file = std::make_unique<RotatingLogFile>(path);
  if (!state_->file->is_open()) state_->file.reset();
  Logger& logger = TheLogger();
  {
    std::lock_guard lock(logger.mutex);
    previous_ = logger.sink;
    logger.sink = state_;
  }
  if (state_->file == nullptr) Diag("cannot open diagnostic log %s", path.c_str());
}

DiagFileScope::~DiagFileScope() {
  Logger& logger = TheLogger();
  {
    std::lock_guard lock(logger.mutex);
    if (logger.sink == state_) {
      // What was left out and not yet reported goes into this file before it closes.
      DiagFolder::FoldedList open_counts;
      const size_t n = logger.folder.TakeAll(open_counts);
      for (size_t i = 0; i < n; ++i)
        EmitFoldedLocked(logger, "--:--:--.---", "diag", open_counts[i]);
      logger.sink = previous_;
    }
  }
  delete state_;
}

DiagQuietScope::DiagQuietScope() : previous_(TheLogger().quiet.exchange(true)) {}
DiagQuietScope::~DiagQuietScope() { TheLogger().quiet.store(previous_); }

void SetThreadName(const char* name) {
  char shortened[16];
  std::snprintf(shortened, sizeof shortened, "%s", name);
  pthread_setname_np(pthread_self(), shortened);
}

}  // namespace kestrelio
