#include "device/battery.h"

#include <dirent.h>

#include <cstdio>
#include <cstring>
#include <string_view>

namespace kestrelio {
namespace {

// The first line of a small attribute file, without its newline.
std::optional<std::string> ReadAttribute(const std::string& dir, const char* name) {
  std::string path = dir + "/" + name;
  std::FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) return std::nullopt;
  char line[128];
  bool ok = std::fgets(line, sizeof line, file) != nullptr;
  std::fclose(file);
  if (!ok) return std::nullopt;
  std::string text(line);
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

std::optional<int64_t> ReadNumber(const std::string& dir, const char* name) {
  std::optional<std::string> text = ReadAttribute(dir, name);
  if (!text || text->empty() || text->size() > 18) return std::nullopt;
  int64_t value = 0;
  for (char c : *text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

// Charge of one battery in per cent: "capacity", else energy or charge now/full.
std::optional<int> BatteryPercent(const std::string& dir) {
  if (std::optional<int64_t> capacity = ReadNumber(dir, "capacity")) {
    return static_cast<int>(*capacity > 100 ? 100 : *capacity);
  }
  for (auto [now_name, full_name] :
       {std::pair{"energy_now", "energy_full"}, std::pair{"charge_now", "charge_full"}}) {
    std::optional<int64_t> now = ReadNumber(dir, now_name);
    std::optional<int64_t> full = ReadNumber(dir, full_name);
    if (now && full && *full > 0) {
      int64_t percent = *now * 100 / *full;
      return static_cast<int>(percent > 100 ? 100 : percent);
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<PowerStatus> ReadPowerStatus(const std::string& root) {
  int batteries = 0;
  int percent_sum = 0;
  bool unreadable_battery = false;
  bool mains_seen = false;
  bool mains_online = false;
  bool discharging = false;
  bool charging = false;

  if (DIR* dir = ::opendir(root.c_str())) {
    while (dirent* entry = ::readdir(dir)) {
      if (entry->d_name[0] == '.') continue;
      std::string supply = root + "/" + entry->d_name;
      std::string type = ReadAttribute(supply, "type").value_or("");
      if (type == "Mains" || type == "USB") {
        mains_seen = true;
        if (ReadNumber(supply, "online").value_or(0) == 1) mains_online = true;
      } else if (type == "Battery") {
        if (ReadAttribute(supply, "scope").value_or("") == "Device") continue;
        if (ReadNumber(supply, "present").value_or(1) == 0) continue;
        std::optional<int> percent = BatteryPercent(supply);
        if (!percent) {
          unreadable_battery = true;
          continue;
        }
        ++batteries;
        percent_sum += *percent;
        std::string status = ReadAttribute(supply, "status").value_or("");
        if (status == "Discharging") discharging = true;
        if (status == "Charging" || status == "Full") charging = true;
      }
    }
    ::closedir(dir);
  }

  if (unreadable_battery && batteries == 0) return std::nullopt;
  PowerStatus status;
  if (batteries == 0) {
    status.battery_percent = 100;
    status.ac_line_status = kAcLineOnline;
    return status;
  }
  status.battery_percent = static_cast<uint8_t>(percent_sum / batteries);
  if (mains_seen) {
    status.ac_line_status = mains_online ? kAcLineOnline : kAcLineOffline;
  } else if (discharging) {
    status.ac_line_status = kAcLineOffline;
  } else if (charging) {
    status.ac_line_status = kAcLineOnline;
  } else {
    status.ac_line_status = kAcLineUnknown;
  }
  return status;
}

int BatteryGauge::Refresh() {
  if (std::optional<PowerStatus> status = ReadPowerStatus(root_)) {
    percent_.store(status->battery_percent, std::memory_order_relaxed);
  }
  return percent();
}

}  // namespace kestrelio
