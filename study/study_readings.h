// What the study threads read from the rest of the handset, passed in by its owner as
// small functions so that study/ needs nothing above base/. Every function may be
// called from any study thread; each must return quickly.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "study/call_log.h"

namespace kestrelio {

// External power as the battery log reads it.
struct PowerReading {
  int ac_line = 255;        // 0 unplugged, 1 plugged, 255 unknown (other values possible)
  int battery_percent = 0;  // 0-100, 255 when unknown
};

enum class PositionStatus { kOk, kOpenFailed, kNoPosition };

// One position fix. The position holds what the receiver reported, zeros elsewhere,
// also when the fix failed.
struct PositionReading {
  PositionStatus status = PositionStatus::kOk;
  int error = 0;  // the platform's error code of a failure
  LoggedPosition position;
};

struct StudyReadings {
  std::function<std::string()> device_id;
  // Dotted IPv4 texts; the local one is "127.0.0.1" when there is no network.
  std::function<std::string()> own_public_address;
  std::function<std::string()> own_local_address;
  // nullopt when the power status cannot be read.
  std::function<std::optional<PowerReading>()> power;
  // A fresh fix, no older than 3 s.
  std::function<PositionReading()> position;
  // A call is connected.
  std::function<bool()> in_call;
};

}  // namespace kestrelio
