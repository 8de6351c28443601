// Integer BT.601 limited-range YUV -> B, G, R, as the preview and the decoded pictures use.
#pragma once

#include <cstdint>

namespace kestrelio {

inline uint8_t ClipByte(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// Writes B, G, R of one pixel to out[0..2].
inline void YuvToBgr(int y, int u, int v, uint8_t* out) {
  const int c = 298 * (y - 16);
  const int d = u - 128;
  const int e = v - 128;
  out[0] = ClipByte((c + 516 * d + 128) >> 8);
  out[1] = ClipByte((c - 100 * d - 208 * e + 128) >> 8);
  out[2] = ClipByte((c + 409 * e + 128) >> 8);
}

}  // namespace kestrelio
