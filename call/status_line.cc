#include "call/status_line.h"

#include <cstdio>

namespace kestrelio {

std::string StatusLineText(std::string_view peer_name, uint32_t tick_counter, bool in_call,
                           const SecondCounters& counters, int battery_percent) {
  char text[160];
  int n = 0;
  if (peer_name.empty()) {
    n = std::snprintf(text, sizeof text, "Disconnected");
  } else {
    n = std::snprintf(text, sizeof text, "to %.*s", static_cast<int>(peer_name.size()),
                      peer_name.data());
  }
  auto append = [&](const char* format, auto... values) {
    if (n < 0 || static_cast<size_t>(n) >= sizeof text) return;
    n += std::snprintf(text + n, sizeof text - static_cast<size_t>(n), format, values...);
  };
  append(", %u:%02u", tick_counter / 60, tick_counter % 60);
  if (peer_name.empty()) {
    append(", %d%%", battery_percent);
  } else if (in_call) {
    append(", %u fps, %u bytes, %u, %d%%", counters.frames_encoded, counters.bytes_encoded,
           counters.packets_missing, battery_percent);
  }
  std::string result(text);
  // The control takes at most 99 characters.
  if (result.size() > 99) result.resize(99);
  return result;
}

}  // namespace kestrelio
