// Taking a lock on the GUI thread without stalling it. A worker may hold the Connection
// Mutex while it waits for a message box that only the GUI thread can show, so the GUI
// thread never sleeps on that mutex: it tries, runs the event pump, waits a slice and
// tries again.
#pragma once

#include <functional>
#include <mutex>

#include "base/tick.h"

namespace kestrelio {

inline constexpr int kPumpSliceMs = 2;

// Takes `mutex`, running `pump` (when set) and sleeping `slice_ms` between tries.
// Returns with the mutex held.
template <typename Mutex>
std::unique_lock<Mutex> LockWhilePumping(Mutex& mutex, const std::function<void()>& pump,
                                         int slice_ms = kPumpSliceMs) {
  std::unique_lock lock(mutex, std::try_to_lock);
  while (!lock.owns_lock()) {
    if (pump) pump();
    SleepMs(slice_ms);
    lock.try_lock();
  }
  return lock;
}

}  // namespace kestrelio
