#include "base/thread_priority.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/diag.h"

namespace kestrelio {

int NiceValue(ThreadPriority priority) {
  // Five nice steps make about three times the CPU share of the neighbouring step.
  switch (priority) {
    case ThreadPriority::kBelowNormal:
      return 5;
    case ThreadPriority::kNormal:
      return 0;
    case ThreadPriority::kAboveNormal:
      return -5;
  }
  return 0;
}

bool SetCurrentThreadPriority(ThreadPriority priority) {
  const int nice_value = NiceValue(priority);
  // On Linux the nice value belongs to the thread named by its tid.
  if (setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), nice_value) != 0) {
    const int error = errno;
    char name[16] = "?";
    pthread_getname_np(pthread_self(), name, sizeof name);
    Diag("thread %s: nice %d refused: %s", name, nice_value, std::strerror(error));
    return false;
  }
  return true;
}

int CurrentThreadNice() {
  errno = 0;
  return getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
}

}  // namespace kestrelio
