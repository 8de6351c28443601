#include "base/timer_scale.h"

#include <cmath>
#include <cstdlib>

namespace kestrelio {

double TimerScale() {
  const char* text = std::getenv("KESTRELIO_TIMER_SCALE");
  if (text == nullptr || *text == '\0') return 1.0;
  char* end = nullptr;
  double scale = std::strtod(text, &end);
  if (end == text || *end != '\0' || !std::isfinite(scale) || scale <= 0.0) return 1.0;
  return scale;
}

int ScaledPeriodMs(int period_ms) {
  double scaled = period_ms * TimerScale();
  if (scaled < 1.0) return 1;
  if (scaled > 2.0e9) return 2000000000;
  return static_cast<int>(scaled);
}

}  // namespace kestrelio
