// A small event object: manual-reset (stays set until Reset) or auto-reset (one
// successful Wait clears it).
#pragma once

#include <condition_variable>
#include <mutex>

namespace kestrelio {

enum class EventReset { kManual, kAuto };

class Event {
 public:
  explicit Event(EventReset reset = EventReset::kManual, bool initially_set = false);
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void Reset();
  bool IsSet() const;
  // Waits until set or until `timeout_ms` passes; a negative timeout waits without limit.
  // Returns true when the event was set.
  bool Wait(int timeout_ms = -1);

 private:
  const EventReset reset_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool set_;
};

}  // namespace kestrelio
