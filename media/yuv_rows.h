// Rows of a 4:2:0 picture to packed B, G, R, exactly as YuvToBgr computes each pixel,
// sixteen pixels at a time with SSE2, interleaved by byte shuffles where there is SSSE3.
//
// Why it is exact in 16-bit lanes: 298(Y-16) = 256(Y-16) + 42(Y-16), and a multiple of
// 256 passes through ">> 8" unchanged, so B = Y' + 2D + ((42Y' + 4D + 128) >> 8),
// G = Y' - E + ((42Y' - 100D + 48E + 128) >> 8), R = Y' + E + ((42Y' + 153E + 128) >> 8)
// with Y' = Y - 16, D = U - 128, E = V - 128; no term leaves the int16 range.
#pragma once

#include <cstdint>

namespace kestrelio {

enum class RowOrder {
  kAsIs,      // pixel x to column x
  kMirrored,  // pixel x to column width - 1 - x
};

// Converts `width` pixels of one row: y[0..width), u and v [0..(width + 1) / 2), writes
// width x 3 bytes to out. Nothing is read or written beyond those ranges.
void ConvertYuvRowToBgr(const uint8_t* y, const uint8_t* u, const uint8_t* v, int width,
                        uint8_t* out, RowOrder order);

// The same with SSE2 alone, which the converter falls back to without SSSE3 (tests).
void ConvertYuvRowToBgrSse2(const uint8_t* y, const uint8_t* u, const uint8_t* v, int width,
                            uint8_t* out, RowOrder order);

// The plain per-pixel loop the vector path must match (tests and benchmarks).
void ConvertYuvRowToBgrScalar(const uint8_t* y, const uint8_t* u, const uint8_t* v, int width,
                              uint8_t* out, RowOrder order);

}  // namespace kestrelio
