// Position fixes from gpsd (libgps). No gpsd running means the device failed to open.
// A fix never blocks for long: the wait for gpsd's report is bounded.
#pragma once

#include <string>

namespace kestrelio {

struct GpsPosition {
  bool has_fix = false;  // latitude and longitude are valid
  double latitude = 0.0;
  double longitude = 0.0;
  double speed_knots = 0.0;
  int satellites_used = 0;
};

struct GpsConfig {
  std::string host = "localhost";
  std::string port = "2947";
  int wait_ms = 1200;     // gpsd reports about once a second
  int max_age_ms = 3000;  // older fixes are not taken
};

enum class GpsStatus { kOk, kOpenFailed, kNoFix };

struct GpsOutcome {
  GpsStatus status = GpsStatus::kOk;
  int error = 0;  // errno of a failed open, or -1 when no fix came in time
};

// Takes one fix into `position`. An open failure is reported here as
// "GPS Device failed to open! (%d)"; on kNoFix the caller reports in its own words.
// Fields gpsd did send are kept even without a fix.
GpsOutcome GetPositionFix(GpsPosition& position, const GpsConfig& config = {});

}  // namespace kestrelio
