#include "media/yuv_rows.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "media/yuv_rgb.h"

namespace kestrelio {
namespace {

// Every (Y, U, V) triple: the vector path against the per-pixel formula. One row of 256
// pixels carries Y = 0..255 with one (U, V) for the whole row.
TEST(YuvRows, MatchesTheFormulaForEveryValue) {
  std::vector<uint8_t> y(256);
  for (int i = 0; i < 256; ++i) y[i] = static_cast<uint8_t>(i);
  std::vector<uint8_t> u(128);
  std::vector<uint8_t> v(128);
  std::vector<uint8_t> out(256 * 3);
  int mismatches = 0;
  for (int uu = 0; uu < 256; ++uu) {
    for (int vv = 0; vv < 256; ++vv) {
      std::fill(u.begin(), u.end(), static_cast<uint8_t>(uu));
      std::fill(v.begin(), v.end(), static_cast<uint8_t>(vv));
      ConvertYuvRowToBgr(y.data(), u.data(), v.data(), 256, out.data(), RowOrder::kAsIs);
      for (int i = 0; i < 256; ++i) {
        uint8_t want[3];
        YuvToBgr(i, uu, vv, want);
        if (out[i * 3] != want[0] || out[i * 3 + 1] != want[1] || out[i * 3 + 2] != want[2]) {
          if (++mismatches < 5) {
            ADD_FAILURE() << "Y=" << i << " U=" << uu << " V=" << vv << ": got " << int(out[i * 3])
                          << "," << int(out[i * 3 + 1]) << "," << int(out[i * 3 + 2]) << " want "
                          << int(want[0]) << "," << int(want[1]) << "," << int(want[2]);
          }
        }
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
}

// Random rows of every width up to 70, both orders, both vector paths: the same bytes as
// the scalar loop,
// and nothing written before or after the row.
TEST(YuvRows, EveryWidthAndOrderStaysInsideItsRow) {
  std::mt19937 random(7);
  constexpr int kGuard = 32;
  for (int width = 1; width <= 70; ++width) {
    for (RowOrder order : {RowOrder::kAsIs, RowOrder::kMirrored}) {
      std::vector<uint8_t> y(width);
      std::vector<uint8_t> u((width + 1) / 2);
      std::vector<uint8_t> v((width + 1) / 2);
      for (auto& b : y) b = static_cast<uint8_t>(random());
      for (auto& b : u) b = static_cast<uint8_t>(random());
      for (auto& b : v) b = static_cast<uint8_t>(random());
      std::vector<uint8_t> got(width * 3 + 2 * kGuard, 0xA5);
      std::vector<uint8_t> want(width * 3 + 2 * kGuard, 0xA5);
      ConvertYuvRowToBgr(y.data(), u.data(), v.data(), width, got.data() + kGuard, order);
      ConvertYuvRowToBgrScalar(y.data(), u.data(), v.data(), width, want.data() + kGuard, order);
      ASSERT_EQ(got, want) << "width " << width << " mirrored " << (order == RowOrder::kMirrored);
    }
  }
}

TEST(YuvRows, MirroredRowPutsTheFirstPixelLast) {
  std::vector<uint8_t> y(32, 16);
  y[0] = 235;  // white at x = 0, black elsewhere
  std::vector<uint8_t> chroma(16, 128);
  std::vector<uint8_t> out(32 * 3);
  ConvertYuvRowToBgr(y.data(), chroma.data(), chroma.data(), 32, out.data(), RowOrder::kMirrored);
  EXPECT_EQ(out[31 * 3], 255);
  EXPECT_EQ(out[31 * 3 + 1], 255);
  EXPECT_EQ(out[31 * 3 + 2], 255);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[30 * 3 + 2], 0);
}

}  // namespace
}  // namespace kestrelio
