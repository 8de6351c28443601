#include "device/gps.h"

#include <gps.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <ctime>

#include "base/diag.h"

namespace kestrelio {
namespace {

constexpr double kKnotsPerMetrePerSecond = 1.0 / 0.514444;

// Closes the gpsd session on every path.
struct GpsSession {
  gps_data_t data{};
  bool open = false;
  ~GpsSession() {
    if (open) {
      gps_stream(&data, WATCH_DISABLE, nullptr);
      gps_close(&data);
    }
  }
};

bool FreshEnough(const gps_data_t& data, int max_age_ms) {
  if ((data.set & TIME_SET) == 0 || data.fix.time.tv_sec == 0) return true;
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  double age_ms = static_cast<double>(now.tv_sec - data.fix.time.tv_sec) * 1000.0 +
                  static_cast<double>(now.tv_nsec - data.fix.time.tv_nsec) / 1e6;
  return age_ms <= max_age_ms;
}

}  // namespace

GpsOutcome GetPositionFix(GpsPosition& position, const GpsConfig& config) {
  GpsSession session;
  errno = 0;
  if (gps_open(config.host.c_str(), config.port.c_str(), &session.data) != 0) {
    int error = errno != 0 ? errno : -1;
    Diag("GPS Device failed to open! (%d)", error);
    return {GpsStatus::kOpenFailed, error};
  }
  session.open = true;
  gps_stream(&session.data, WATCH_ENABLE | WATCH_JSON, nullptr);

  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(config.wait_ms);
  while (true) {
    auto remaining = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
    if (remaining.count() <= 0) break;
    if (!gps_waiting(&session.data, static_cast<int>(remaining.count()))) break;
    errno = 0;
    if (gps_read(&session.data, nullptr, 0) < 0) {
      return {GpsStatus::kNoFix, errno != 0 ? errno : -1};
    }
    const gps_data_t& data = session.data;
    if ((data.set & SATELLITE_SET) != 0) position.satellites_used = data.satellites_used;
    bool fixed = (data.set & MODE_SET) != 0 && data.fix.mode >= MODE_2D &&
                 (data.set & LATLON_SET) != 0 && std::isfinite(data.fix.latitude) &&
                 std::isfinite(data.fix.longitude);
    if (!fixed || !FreshEnough(data, config.max_age_ms)) continue;
    position.has_fix = true;
    position.latitude = data.fix.latitude;
    position.longitude = data.fix.longitude;
    position.speed_knots =
        std::isfinite(data.fix.speed) ? data.fix.speed * kKnotsPerMetrePerSecond : 0.0;
    return {GpsStatus::kOk, 0};
  }
  return {GpsStatus::kNoFix, -1};
}

}  // namespace kestrelio
