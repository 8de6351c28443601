#include "ui/picture_scaler.h"

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
  upper_.assign(static_cast<size_t>(out_width) * 3, 0);
  lower_.assign(static_cast<size_t>(out_width) * 3, 0);
  in_width_ = in_width;
  in_height_ = in_height;
  out_width_ = out_width;
  out_height_ = out_height;
  smooth_ = smooth;
  configured_ = true;
  return true;
}

void PictureScaler::ScaleRow(const uint8_t* in, std::vector<uint16_t>& out) const {
  uint16_t* to = out.data();
  for (const Tap& tap : columns_) {
    const uint8_t* a = in + tap.offset;
    const uint8_t* b = a + tap.step;
    const int keep = 256 - tap.weight;
    for (int c = 0; c < 3; ++c) {
      *to++ = static_cast<uint16_t>(a[c] * keep + b[c] * tap.weight);
    }
  }
}

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
  const size_t samples = static_cast<size_t>(out_width_) * 3;
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
    const uint16_t* u = upper_.data();
    if (tap.weight == 0) {
      for (size_t i = 0; i < samples; i += 3, to += 4) {
        to[0] = static_cast<uint8_t>((u[i] + 128) >> 8);
        to[1] = static_cast<uint8_t>((u[i + 1] + 128) >> 8);
        to[2] = static_cast<uint8_t>((u[i + 2] + 128) >> 8);
        to[3] = 0xFF;
      }
      continue;
    }
    const uint16_t* l = lower_.data();
    const uint32_t w = static_cast<uint32_t>(tap.weight);
    const uint32_t keep = 256 - w;
    for (size_t i = 0; i < samples; i += 3, to += 4) {
      to[0] = static_cast<uint8_t>((u[i] * keep + l[i] * w + 32768) >> 16);
      to[1] = static_cast<uint8_t>((u[i + 1] * keep + l[i + 1] * w + 32768) >> 16);
      to[2] = static_cast<uint8_t>((u[i + 2] * keep + l[i + 2] * w + 32768) >> 16);
      to[3] = 0xFF;
    }
  }
}

}  // namespace kestrelio
