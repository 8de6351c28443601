#include "device/power_settings.h"

#include <optional>
#include <string_view>

#include "device/settings_store.h"

namespace kestrelio {

uint32_t IdleResetIntervalMs(SettingsStore& settings) {
  uint32_t minimum_s = 1000;
  for (std::string_view name : {"BattPowerOff", "ExtPowerOff", "ScreenPowerOff"}) {
    std::optional<uint32_t> seconds = settings.GetDword(kPowerKey, name);
    if (seconds && *seconds != 0 && *seconds < minimum_s) minimum_s = *seconds;
  }
  return minimum_s * 950u;
}

bool IsSilentMode(SettingsStore& settings) {
  settings.CreateKey(kShellOverridesKey);
  return settings.GetDword(kShellOverridesKey, "Mode") == 2u;
}

}  // namespace kestrelio
