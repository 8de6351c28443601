// The status line (control 124): who the call is with, how long it has run, and either
// the battery (idle) or the last second's media counters (in a call).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrelio {

// The last second's counters shown during a call.
struct SecondCounters {
  uint32_t frames_encoded = 0;
  uint32_t bytes_encoded = 0;
  uint32_t packets_missing = 0;
};

// "Disconnected, M:SS, B%" with no peer, else "to NAME, M:SS" and, in a call,
// ", F fps, N bytes, L, B%". The time is the status tick counter in seconds.
std::string StatusLineText(std::string_view peer_name, uint32_t tick_counter, bool in_call,
                           const SecondCounters& counters, int battery_percent);

}  // namespace kestrelio
