#include "app/power_notifications.h"

#include <optional>

#include "device/battery.h"

namespace kestrelio {

bool PowerNotificationThread::Start() {
  return worker_.Start("power-notify", [this](std::stop_token) { Run(); });
}

void PowerNotificationThread::Run() {
  std::optional<PowerStatus> last = ReadPowerStatus();
  while (worker_.SleepFor(poll_ms_)) {
    std::optional<PowerStatus> now = ReadPowerStatus();
    bool changed =
        now.has_value() != last.has_value() || (now && last &&
                                                (now->ac_line_status != last->ac_line_status ||
                                                 now->battery_percent != last->battery_percent));
    if (changed) drained_.fetch_add(1, std::memory_order_relaxed);  // read and dropped
    last = now;
    polls_.fetch_add(1, std::memory_order_release);
  }
}

}  // namespace kestrelio
