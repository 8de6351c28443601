#include "app/power_notifications.h"

#include "base/diag.h"
#include "device/battery.h"

namespace kestrelio {

PowerNotificationThread::PowerNotificationThread(Event& shutdown, int poll_ms)
    : shutdown_(shutdown), poll_ms_(poll_ms), thread_([this] { Run(); }) {}

PowerNotificationThread::~PowerNotificationThread() { Stop(); }

void PowerNotificationThread::Stop() {
  shutdown_.Set();
  if (thread_.joinable()) thread_.join();
}

void PowerNotificationThread::Run() {
  SetThreadName("power-notify");
  std::optional<PowerStatus> last = ReadPowerStatus();
  while (!shutdown_.Wait(poll_ms_)) {
    std::optional<PowerStatus> now = ReadPowerStatus();
    bool changed =
        now.has_value() != last.has_value() || (now && last &&
                                                (now->ac_line_status != last->ac_line_status ||
                                                 now->battery_percent != last->battery_percent));
    if (changed) drained_.fetch_add(1, std::memory_order_relaxed);  // read and dropped
    last = now;
  }
}

}  // namespace kestrelio
