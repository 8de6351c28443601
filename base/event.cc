#include "base/event.h"

#include <chrono>

namespace kestrelio {

Event::Event(EventReset reset, bool initially_set) : reset_(reset), set_(initially_set) {}

void Event::Set() {
  {
    std::lock_guard lock(mutex_);
    set_ = true;
  }
  changed_.notify_all();
}

void Event::Reset() {
  std::lock_guard lock(mutex_);
  set_ = false;
}

bool Event::IsSet() const {
  std::lock_guard lock(mutex_);
  return set_;
}

bool Event::Wait(int timeout_ms) {
  std::unique_lock lock(mutex_);
  auto ready = [this] { return set_; };
  if (timeout_ms < 0) {
    changed_.wait(lock, ready);
  } else if (!changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms), ready)) {
    return false;
  }
  if (reset_ == EventReset::kAuto) set_ = false;
  return true;
}

}  // namespace kestrelio
