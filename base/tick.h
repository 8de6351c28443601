// Millisecond tick count from a monotonic clock; wraps like a 32-bit counter.
#pragma once

#include <cstdint>

namespace kestrelio {

uint32_t TickCountMs();
void SleepMs(int ms);

}  // namespace kestrelio
