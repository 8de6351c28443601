// Test hook: KESTRELIO_TIMER_SCALE (default 1) multiplies the long periods (no-answer
// and prompt timers, network-loss timer, keep-alive and logging passes, hourly upload)
// so that system tests run in seconds. It changes nothing else.
#pragma once

namespace kestrelio {

// Reads the environment once per call; invalid or non-positive values mean 1.
double TimerScale();
// `period_ms` times the scale, at least 1 ms.
int ScaledPeriodMs(int period_ms);

}  // namespace kestrelio
