#include "device/vibration.h"

#include "base/diag.h"
#include "base/window/window.h"

namespace kestrelio {

VibrationThread::VibrationThread(Window& window, VibrationTiming timing)
    : window_(window), timing_(timing) {}

bool VibrationThread::Start() {
  return worker_.Start("vibration", [this](std::stop_token) { Run(); });
}

void VibrationThread::SwitchOn(int duration_ms) {
  Diag("vibrator on (%d ms)", duration_ms);
  window_.Alert(duration_ms);
  pulses_.fetch_add(1, std::memory_order_release);
}

void VibrationThread::Run() {
  while (Pause(request() == RingRequest::kIdle ? timing_.idle_wait_ms : timing_.poll_ms)) {
    switch (request()) {
      case RingRequest::kRing:
        SwitchOn(timing_.ring_on_ms);
        if (!Pause(timing_.ring_on_ms)) return;
        if (!Pause(timing_.ring_off_ms)) return;
        break;
      case RingRequest::kBuzz: {
        SwitchOn(timing_.buzz_on_ms);
        if (!Pause(timing_.buzz_on_ms)) return;
        // Only a buzz still pending is cleared; a ring asked for meanwhile stands.
        RingRequest expected = RingRequest::kBuzz;
        request_.compare_exchange_strong(expected, RingRequest::kIdle, std::memory_order_relaxed);
        break;
      }
      case RingRequest::kIdle:
        break;
    }
    passes_.fetch_add(1, std::memory_order_release);
  }
}

}  // namespace kestrelio
