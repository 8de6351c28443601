// The one place the encoder's settings meet libx264's parameter record. Included by the
// encoder's implementation and by tools that drive libx264 directly with the same
// parameters (the bare-encode benchmark); never by the encoder's own header.
#pragma once

#include <cstdint>

// x264.h needs the fixed-width integer types declared before it.
#include <x264.h>

#include "media/encoder_settings.h"

namespace kestrelio {

// The library's defaults, then the stream's fixed values, then `settings`.
void ToX264Params(const EncoderSettings& settings, x264_param_t& params);

}  // namespace kestrelio
