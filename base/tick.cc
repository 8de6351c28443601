#include "base/tick.h"

#include <chrono>
#include <thread>

namespace kestrelio {

uint32_t TickCountMs() {
  auto since_boot = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(since_boot).count());
}

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace kestrelio
