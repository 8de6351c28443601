// Battery and external power from /sys/class/power_supply.
//
// A machine with no system battery (a desktop on mains) reads as plugged in and 100 per
// cent full: it will not run out during a call, and the status line and battery log
// stay meaningful. Peripheral batteries (a wireless mouse, scope "Device") are ignored.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

namespace kestrelio {

inline constexpr const char* kPowerSupplyRoot = "/sys/class/power_supply";

inline constexpr uint8_t kAcLineOffline = 0;
inline constexpr uint8_t kAcLineOnline = 1;
inline constexpr uint8_t kAcLineUnknown = 255;

struct PowerStatus {
  uint8_t ac_line_status = kAcLineUnknown;  // 0 unplugged, 1 plugged, 255 unknown
  uint8_t battery_percent = 0;              // 0-100
};

// A fresh reading. nullopt when a system battery is present but its charge cannot be
// read.
std::optional<PowerStatus> ReadPowerStatus(const std::string& root = kPowerSupplyRoot);

// The battery percent the status line and the study logs show: 0 until the first
// successful reading, then the last successful one. Any thread may read it.
class BatteryGauge {
 public:
  explicit BatteryGauge(std::string root = kPowerSupplyRoot) : root_(std::move(root)) {}
  // Reads afresh; on failure keeps the previous value. Returns the current value.
  int Refresh();
  int percent() const { return percent_.load(std::memory_order_relaxed); }

 private:
  const std::string root_;
  std::atomic<int> percent_{0};
};

}  // namespace kestrelio
