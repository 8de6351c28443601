// Lock helper for the Logging Mutex at shutdown. (Taking a lock on the GUI thread while
// the event loop runs is call control's LockWhilePumping, call/pumping_lock.h.)
#pragma once

#include <functional>
#include <mutex>
#include <thread>

namespace kestrelio {

// Takes `mutex` by polling with a zero time-out, running `between` after each miss
// (pumping events, or nothing). Used at shutdown so a log write in progress finishes.
inline void LockByPolling(std::timed_mutex& mutex, const std::function<void()>& between) {
  while (!mutex.try_lock()) {
    if (between) between();
  }
}

}  // namespace kestrelio
