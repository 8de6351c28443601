// What the vibrator is asked to do: nothing, ring until told otherwise, or one short
// buzz. Call control and chat ask; the vibration thread carries it out.
#pragma once

namespace kestrelio {

enum class RingRequest : int { kIdle = 0, kRing = 1, kBuzz = 2 };

}  // namespace kestrelio
