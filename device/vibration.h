// The Vibration thread: drives the "vibrator" from the ring request. On a desktop the
// vibrator is a window alert (the taskbar entry flashes) plus a diagnostic line; the
// users are deaf, so an audible ring would be no use.
//
//   request 1 (ring): on 1000 ms, off 200 ms, repeating until the request becomes 0
//   request 2 (buzz): on 200 ms, off, then the request returns to 0
#pragma once

#include <atomic>
#include <cstdint>

#include "base/state/ring_request.h"
#include "base/worker.h"

namespace kestrelio {

class Window;

struct VibrationTiming {
  int poll_ms = 50;
  int ring_on_ms = 1000;
  int ring_off_ms = 200;
  int buzz_on_ms = 200;
  // With no request the thread sleeps until one wakes it; this only bounds the sleep.
  int idle_wait_ms = 5000;
};

class VibrationThread {
 public:
  // `window` must outlive this object. The thread runs from Start to Stop.
  explicit VibrationThread(Window& window, VibrationTiming timing = {});
  ~VibrationThread() { Stop(); }
  VibrationThread(const VibrationThread&) = delete;
  VibrationThread& operator=(const VibrationThread&) = delete;

  // Any thread may set the request; it wakes an idle thread at once.
  void Vibrate(RingRequest request) {
    request_.store(request, std::memory_order_relaxed);
    worker_.Wake();
  }
  RingRequest request() const { return request_.load(std::memory_order_relaxed); }

  // Starts the thread; false when it cannot be created or is already running. A
  // stopped thread may be started again.
  bool Start();
  // Stops the thread and joins it; harmless when never started or already stopped.
  void Stop() { worker_.Stop(); }
  bool running() const { return worker_.Running(); }

  // Times the vibrator was switched on; passes of the loop. For tests.
  uint64_t pulses() const { return pulses_.load(std::memory_order_acquire); }
  uint64_t passes() const { return passes_.load(std::memory_order_acquire); }

 private:
  void Run();
  // Sleeps `ms`; false when a stop was requested meanwhile.
  bool Pause(int ms) { return worker_.SleepFor(ms); }
  void SwitchOn(int duration_ms);

  Window& window_;
  const VibrationTiming timing_;
  std::atomic<RingRequest> request_{RingRequest::kIdle};
  std::atomic<uint64_t> pulses_{0};
  std::atomic<uint64_t> passes_{0};
  Worker worker_;
};

}  // namespace kestrelio
