#include "ui/picture_scaler.h"

#include <cstring>
#include <utility>

namespace kestrelio {

void PictureScaler::MakeTaps(int in_size, int out_size, bool smooth, int sample_bytes,
                             std::vector<Tap>& taps) {
  taps.assign(static_cast<size_t>(out_size), Tap{});
  for (int i = 0; i < out_size; ++i) {
    Tap& tap = taps[static_cast<size_t>(i)];
    int index = 0;
    int weight = 0;
    if (smooth) {
      // Pixel centres line up: source position (i + 1/2) * in / out - 1/2, in 1/256ths.
      const int64_t position =
          (static_cast<int64_t>(2 * i + 1) * in_size * 256) / (2 * out_size) - 128;
      if (position > 0) {
        index = static_cast<int>(position >> 8);
        weight = static_cast<int>(position & 255);
      }
    } else {
      index = static_cast<int>((static_cast<int64_t>(2 * i + 1) * in_size) / (2 * out_size));
    }
    if (index >= in_size - 1) {
      index = in_size - 1;
      weight = 0;
    }
    tap.offset = index * sample_bytes;
    tap.step = weight != 0 ? sample_bytes : 0;
    tap.weight = weight;
  }
}

bool PictureScaler::Configure(int in_width, int in_height, int out_width, int out_height,
                              bool smooth) {
  configured_ = false;
  if (in_width <= 0 || in_height <= 0 || out_width <= 0 || out_height <= 0 || in_width > kMaxSide ||
      in_height > kMaxSide || out_width > kMaxSide || out_height > kMaxSide) {
    return false;
  }
  MakeTaps(in_width, out_width, smooth, 3, columns_);
  MakeTaps(in_height, out_height, smooth, 1, rows_);
  upper_.assign(static_cast<size_t>(out_width) * 4, 0);
  lower_.assign(static_cast<size_t>(out_width) * 4, 0);
  in_width_ = in_width;
  in_height_ = in_height;
  out_width_ = out_width;
  out_height_ = out_height;
  smooth_ = smooth;
  configured_ = true;
  return true;
}

void PictureScaler::ScaleRow(const uint8_t* in, std::vector<uint8_t>& out) const {
  // Whole output pixels (the fourth byte opaque), so rows blend below as flat byte runs.
  uint8_t* to = out.data();
  for (const Tap& tap : columns_) {
    const uint8_t* a = in + tap.offset;
    const uint8_t* b = a + tap.step;
    const int keep = 256 - tap.weight;
    to[0] = static_cast<uint8_t>((a[0] * keep + b[0] * tap.weight + 128) >> 8);
    to[1] = static_cast<uint8_t>((a[1] * keep + b[1] * tap.weight + 128) >> 8);
    to[2] = static_cast<uint8_t>((a[2] * keep + b[2] * tap.weight + 128) >> 8);
    to[3] = 0xFF;
    to += 4;
  }
}

namespace {

// 16-bit arithmetic in blocks of a fixed length: the compiler vectorises this at any
// optimisation level. The tail is done one by one.
void BlendRows(const uint8_t* __restrict upper, const uint8_t* __restrict lower, int weight,
               uint8_t* __restrict to, size_t count) {
  constexpr size_t kBlock = 32;
  const auto w = static_cast<uint16_t>(weight);
  const auto keep = static_cast<uint16_t>(256 - weight);
  size_t i = 0;
  for (; i + kBlock <= count; i += kBlock) {
    for (size_t k = 0; k < kBlock; ++k) {
      to[i + k] = static_cast<uint8_t>(
          static_cast<uint16_t>(upper[i + k] * keep + lower[i + k] * w + 128) >> 8);
    }
  }
  for (; i < count; ++i) {
    to[i] = static_cast<uint8_t>((upper[i] * keep + lower[i] * w + 128) >> 8);
  }
}

}  // namespace

void PictureScaler::Scale(const BgrPicture& picture, uint8_t* out, int out_stride) {
  if (!configured_ || picture.bytes == nullptr || picture.width != in_width_ ||
      picture.height != in_height_ || picture.stride < in_width_ * 3) {
    return;
  }
  auto source_row = [&](int upright) {
    const int row = picture.bottom_up ? in_height_ - 1 - upright : upright;
    return picture.bytes + static_cast<ptrdiff_t>(row) * picture.stride;
  };
  int upper_row = -1;
  int lower_row = -1;
  const size_t samples = static_cast<size_t>(out_width_) * 4;
  for (int y = 0; y < out_height_; ++y) {
    const Tap& tap = rows_[static_cast<size_t>(y)];
    const int first = tap.offset;
    const int second = first + tap.step;
    // Consecutive output rows mostly share their source rows: each is scaled across once.
    if (first != upper_row) {
      if (first == lower_row) {
        std::swap(upper_, lower_);
        std::swap(upper_row, lower_row);
      } else {
        ScaleRow(source_row(first), upper_);
        upper_row = first;
      }
    }
    if (tap.weight != 0 && second != lower_row) {
      ScaleRow(source_row(second), lower_);
      lower_row = second;
    }
    uint8_t* to = out + static_cast<ptrdiff_t>(y) * out_stride;
    if (tap.weight == 0) {
      std::memcpy(to, upper_.data(), samples);
    } else {
      BlendRows(upper_.data(), lower_.data(), tap.weight, to, samples);
    }
  }
}

}  // namespace kestrelio
