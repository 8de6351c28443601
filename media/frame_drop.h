// Frame dropping of still frames and the key-frame requests the encoder takes.
#pragma once

#include <cstdint>

#include "media/capture_state.h"

namespace kestrelio {

// A frame whose luma differs from the last queued frame by this sum or less is still.
inline constexpr uint32_t kStillThreshold = 21213;
// The window closes when motion + still counters exceed this.
inline constexpr uint32_t kFrameDropWindowLimit = 12;

enum class FrameDecision { kAccept, kDrop };

// Sum of absolute differences of two 7,680-byte luma planes.
uint32_t LumaSad(const uint8_t* a, const uint8_t* b);
// The plain loop, for checking the vectorised one.
uint32_t LumaSadPlain(const uint8_t* a, const uint8_t* b);

// Compares the new frame's luma with `previous_luma` (the Y plane of the slot before the
// write index). May set the still key-frame request.
FrameDecision FrameDropTest(const uint8_t* frame_luma, const uint8_t* previous_luma,
                            FrameDropCounters& counters, KeyframeRequests& requests);

// True when either request is set; clears both.
bool TakeKeyframeRequest(KeyframeRequests& requests);

}  // namespace kestrelio
