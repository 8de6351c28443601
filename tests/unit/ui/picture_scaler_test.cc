// The display thread's scaler: row order and channel order of what it writes, exact
// nearest-neighbour blocks, bilinear values between the samples, and refusals.
#include "ui/picture_scaler.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace kestrelio {
namespace {

// A bottom-up BGR picture whose pixel (x, y upright) has blue x, green y, red 200.
std::vector<uint8_t> GridPicture(int width, int height, int stride) {
  std::vector<uint8_t> bytes(static_cast<size_t>(stride * height), 0xEE);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = bytes.data() + (height - 1 - y) * stride;
    for (int x = 0; x < width; ++x) {
      row[3 * x] = static_cast<uint8_t>(x);
      row[3 * x + 1] = static_cast<uint8_t>(y);
      row[3 * x + 2] = 200;
    }
  }
  return bytes;
}

struct Out {
  Out(int w, int h) : width(w), height(h), bytes(static_cast<size_t>(w * h * 4), 0) {}
  const uint8_t* At(int x, int y) const { return bytes.data() + (y * width + x) * 4; }
  int width, height;
  std::vector<uint8_t> bytes;
};

TEST(PictureScalerTest, NearestDoublesEachPixelIntoAnUprightBlock) {
  const int stride = 4 * 3 + 5;  // rows padded, as the preview's are
  auto in = GridPicture(4, 3, stride);
  PictureScaler scaler;
  ASSERT_TRUE(scaler.Configure(4, 3, 8, 6, /*smooth=*/false));
  Out out(8, 6);
  scaler.Scale(BgrPicture{in.data(), 4, 3, stride, /*bottom_up=*/true}, out.bytes.data(), 32);
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 8; ++x) {
      const uint8_t* p = out.At(x, y);
      EXPECT_EQ(p[0], x / 2) << x << "," << y;  // blue
      EXPECT_EQ(p[1], y / 2) << x << "," << y;  // green
      EXPECT_EQ(p[2], 200);
      EXPECT_EQ(p[3], 0xFF);
    }
  }
}

TEST(PictureScalerTest, SmoothKeepsSamplesAtTheSameSizeAndBlendsBetweenThemWhenEnlarged) {
  auto in = GridPicture(96, 80, 96 * 3);
  const BgrPicture picture{in.data(), 96, 80, 96 * 3, /*bottom_up=*/true};
  PictureScaler scaler;
  ASSERT_TRUE(scaler.Configure(96, 80, 96, 80, /*smooth=*/true));
  Out same(96, 80);
  scaler.Scale(picture, same.bytes.data(), 96 * 4);
  for (int y = 0; y < 80; ++y) {
    for (int x = 0; x < 96; ++x) {
      ASSERT_EQ(same.At(x, y)[0], x);
      ASSERT_EQ(same.At(x, y)[1], y);
    }
  }

  ASSERT_TRUE(scaler.Configure(96, 80, 240, 200, /*smooth=*/true));
  ASSERT_FALSE(scaler.Matches(96, 80, 240, 200, /*smooth=*/false));
  Out big(240, 200);
  scaler.Scale(picture, big.bytes.data(), 240 * 4);
  // A ramp stays a ramp: never decreasing, the end samples at the ends, and each pixel
  // the nearest value to its centre's source position.
  for (int y = 0; y < 200; y += 7) {
    EXPECT_EQ(big.At(0, y)[0], 0);
    EXPECT_EQ(big.At(239, y)[0], 95);
    for (int x = 1; x < 240; ++x) ASSERT_GE(big.At(x, y)[0], big.At(x - 1, y)[0]);
    EXPECT_EQ(big.At(1, y)[0], 0);  // centre 1.5 -> 0.1
    EXPECT_EQ(big.At(3, y)[0], 1);  // centre 3.5 -> 0.9
    EXPECT_EQ(big.At(120, y)[2], 200);
  }
  for (int x = 0; x < 240; x += 11) {
    EXPECT_EQ(big.At(x, 0)[1], 0);
    EXPECT_EQ(big.At(x, 199)[1], 79);
    for (int y = 1; y < 200; ++y) ASSERT_GE(big.At(x, y)[1], big.At(x, y - 1)[1]);
  }
  // Halfway between two source columns the value is their mean.
  ASSERT_TRUE(scaler.Configure(2, 1, 4, 1, /*smooth=*/true));
  const std::array<uint8_t, 6> pair = {0, 0, 0, 100, 0, 0};
  Out row(4, 1);
  scaler.Scale(BgrPicture{pair.data(), 2, 1, 6, true}, row.bytes.data(), 16);
  EXPECT_EQ(row.At(0, 0)[0], 0);
  EXPECT_EQ(row.At(1, 0)[0], 25);
  EXPECT_EQ(row.At(2, 0)[0], 75);
  EXPECT_EQ(row.At(3, 0)[0], 100);
}

TEST(PictureScalerTest, RefusesEmptyOrOversizedSidesAndPicturesOfAnotherSize) {
  PictureScaler scaler;
  EXPECT_FALSE(scaler.Configure(0, 80, 240, 200, true));
  EXPECT_FALSE(scaler.Configure(96, 80, 240, PictureScaler::kMaxSide + 1, true));
  ASSERT_TRUE(scaler.Configure(96, 80, 8, 8, true));
  EXPECT_FALSE(scaler.Configure(96, 80, -8, 8, true));  // the last good tables are gone
  auto in = GridPicture(96, 80, 96 * 3);
  Out out(8, 8);
  scaler.Scale(BgrPicture{in.data(), 96, 80, 96 * 3, true}, out.bytes.data(), 32);
  EXPECT_EQ(out.At(3, 3)[3], 0);  // nothing written
  ASSERT_TRUE(scaler.Configure(96, 80, 8, 8, true));
  scaler.Scale(BgrPicture{in.data(), 48, 80, 96 * 3, true}, out.bytes.data(), 32);
  EXPECT_EQ(out.At(3, 3)[3], 0);
  scaler.Scale(BgrPicture{in.data(), 96, 80, 96 * 3, true}, out.bytes.data(), 32);
  EXPECT_EQ(out.At(3, 3)[3], 0xFF);
}

}  // namespace
}  // namespace kestrelio
