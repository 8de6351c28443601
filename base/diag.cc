#include "base/diag.h"

#include <pthread.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace kestrelio {

struct DiagFileScope::State {
  std::FILE* file = nullptr;
};

namespace {

// The logger is the single deliberate process-wide object (see diag.h).
struct Logger {
  std::mutex mutex;
  DiagFileScope::State* sink = nullptr;
  std::atomic<bool> quiet{false};
};

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

  Logger& logger = TheLogger();
  std::lock_guard lock(logger.mutex);
  if (!logger.quiet.load(std::memory_order_relaxed)) {
    std::fprintf(stderr, "%s [%s] %s\n", stamp, thread_name, text);
  }
  if (logger.sink != nullptr && logger.sink->file != nullptr) {
    std::fprintf(logger.sink->file, "%s [%s] %s\n", stamp, thread_name, text);
    std::fflush(logger.sink->file);
  }
}

DiagFileScope::DiagFileScope(const std::string& path) : previous_(nullptr), state_(new State) {
  state_->file = std::fopen(path.c_str(), "a");
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
    if (logger.sink == state_) logger.sink = previous_;
  }
  if (state_->file != nullptr) std::fclose(state_->file);
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
