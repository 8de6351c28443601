// Scales a BGR picture from the display thread into an XRGB32 image of the size it is
// shown at, so painting is a plain copy. Bilinear (smooth) or nearest-neighbour; the
// per-column and per-row tables are made when a size or the mode changes, never per
// picture.
#pragma once

#include <cstdint>
#include <vector>

#include "base/window/window.h"

namespace kestrelio {

class PictureScaler {
 public:
  // Sizes larger than this on either side are refused.
  static constexpr int kMaxSide = 4096;

  // Makes the tables for pictures of `in_width`x`in_height` shown at `out_width`x
  // `out_height`. False (and nothing scaled until the next good call) for an empty or
  // oversized side.
  bool Configure(int in_width, int in_height, int out_width, int out_height, bool smooth);
  bool Matches(int in_width, int in_height, int out_width, int out_height, bool smooth) const {
    return configured_ && in_width == in_width_ && in_height == in_height_ &&
           out_width == out_width_ && out_height == out_height_ && smooth == smooth_;
  }

  // Writes the picture upright into `out` (out_height rows of `out_stride` bytes, each
  // pixel 0xFFRRGGBB). The picture must have the configured size.
  void Scale(const BgrPicture& picture, uint8_t* out, int out_stride);

 private:
  struct Tap {
    int offset = 0;  // byte offset of the left (or upper) source sample
    int step = 0;    // bytes to the right (or lower) sample; 0 at the edge
    int weight = 0;  // of the second sample, 0..256
  };
  static void MakeTaps(int in_size, int out_size, bool smooth, int sample_bytes,
                       std::vector<Tap>& taps);
  void ScaleRow(const uint8_t* in, std::vector<uint8_t>& out) const;

  bool configured_ = false;
  bool smooth_ = true;
  int in_width_ = 0, in_height_ = 0, out_width_ = 0, out_height_ = 0;
  std::vector<Tap> columns_;  // per output column, offsets in bytes within a row
  std::vector<Tap> rows_;     // per output row, offsets in source rows
  // Two source rows scaled across, as output pixels; reused per picture.
  std::vector<uint8_t> upper_, lower_;
};

}  // namespace kestrelio
