// Lock helpers for the two process-wide mutexes (Connection Mutex, Logging Mutex).
//
// The GUI thread must never sleep on a lock that a worker holds while that worker waits
// for the GUI (a message box on a worker thread blocks the worker until the GUI thread
// answers it). So where the GUI thread waits "without limit" it waits in short slices
// and runs `pump` (the event loop) between them.
#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

namespace kestrelio {

inline constexpr int kLockSliceMs = 10;

// Takes `mutex`, running `pump` between waits of `slice_ms`. Returns with the mutex held.
// Polls rather than try_lock_for: the timed wait is invisible to ThreadSanitizer, which
// then takes the later unlock for the unlock of a mutex nobody holds.
inline void LockWhilePumping(std::timed_mutex& mutex, const std::function<void()>& pump,
                             int slice_ms = kLockSliceMs) {
  while (!mutex.try_lock()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(slice_ms));
    if (pump) pump();
  }
}

// Takes `mutex` by polling with a zero time-out, running `between` after each miss
// (pumping events, or nothing). Used at shutdown so a log write in progress finishes.
inline void LockByPolling(std::timed_mutex& mutex, const std::function<void()>& between) {
  while (!mutex.try_lock()) {
    if (between) between();
  }
}

// RAII owner of a lock taken by one of the helpers above.
using HeldLock = std::unique_lock<std::timed_mutex>;
inline HeldLock AdoptLock(std::timed_mutex& mutex) { return HeldLock(mutex, std::adopt_lock); }

}  // namespace kestrelio
