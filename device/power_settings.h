// Values the handset reads from the settings store but never writes: the power
// time-outs that set the idle-reset interval, and the shell's silent mode.
#pragma once

#include <cstdint>

namespace kestrelio {

class SettingsStore;

// 95 per cent of the shortest non-zero power time-out ("BattPowerOff", "ExtPowerOff",
// "ScreenPowerOff", seconds) in milliseconds; 1000 s is the ceiling, so with no
// readable values the interval is 950000 ms.
uint32_t IdleResetIntervalMs(SettingsStore& settings);

// True when "Mode" under the shell-overrides key is 2. The key is created when missing;
// a missing value is not silent.
bool IsSilentMode(SettingsStore& settings);

}  // namespace kestrelio
