// The sliding one-second byte count behind the kbit/s figures.
#include "base/rate_window.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace kestrelio {
namespace {

TEST(RateWindowTest, CountsTheLastSecondAndForgetsAnIdleOne) {
  RateWindow window;
  window.Reset(1000);
  EXPECT_EQ(window.BytesInLastSecond(1000), 0u);
  // 1250 bytes in each 100 ms bucket for a second: 100 kbit/s.
  for (uint32_t t = 1000; t < 2000; t += 100) window.Add(t + 50, 1250);
  EXPECT_EQ(window.BytesInLastSecond(1999), 12500u);
  EXPECT_EQ(window.KbitPerSecond(1999), 100u);
  // Entering the next bucket drops the oldest one.
  EXPECT_EQ(window.BytesInLastSecond(2000), 11250u);
  EXPECT_EQ(window.BytesInLastSecond(2899), 1250u);
  // A whole idle second later nothing is left, though no Add cleared a bucket.
  EXPECT_EQ(window.BytesInLastSecond(3000), 0u);
  EXPECT_EQ(window.KbitPerSecond(5000), 0u);
}

TEST(RateWindowTest, ReusedBucketsStartFromZero) {
  RateWindow window;
  window.Reset(0);
  window.Add(30, 500);  // bucket 0
  window.Add(1010, 7);  // bucket 10 lands on the same slot: the old 500 goes
  EXPECT_EQ(window.BytesInLastSecond(1010), 7u);
  window.Add(1020, 3);  // same bucket: adds
  EXPECT_EQ(window.BytesInLastSecond(1099), 10u);
  // Many turns of the ring later, only the new bucket counts.
  window.Add(123456, 40);
  EXPECT_EQ(window.BytesInLastSecond(123456), 40u);
  // Reset empties it.
  window.Reset(123500);
  EXPECT_EQ(window.BytesInLastSecond(123500), 0u);
}

TEST(RateWindowTest, TickCountWrapDoesNotDisturbIt) {
  RateWindow window;
  const uint32_t start = 0xFFFFFF00u;  // 256 ms before the 32-bit tick count wraps
  window.Reset(start);
  window.Add(start + 50, 100);
  window.Add(start + 300, 200);  // after the wrap
  window.Add(start + 900, 300);
  EXPECT_EQ(window.BytesInLastSecond(start + 950), 600u);
  EXPECT_EQ(window.BytesInLastSecond(start + 1050), 500u);  // the first bucket has gone
  EXPECT_EQ(window.BytesInLastSecond(start + 2000), 0u);
  // A time before the last bucket written (a reader behind the writer) counts nothing
  // from the future buckets, and does not count them as old either.
  EXPECT_EQ(window.BytesInLastSecond(start + 10), 100u);
}

}  // namespace
}  // namespace kestrelio
