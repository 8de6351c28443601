#include "servers/presence/source_limit.h"

#include <gtest/gtest.h>

namespace kestrelio {
namespace {

constexpr NetAddress kA{0x7F000002, 8200};
constexpr NetAddress kB{0x7F000003, 8200};

TEST(SourceLimitTest, ASourceGetsItsShareEachWindowAndOthersTheirOwn) {
  SourceLimit limit(3, 1000);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(limit.Allow(kA, 5000 + i));
  EXPECT_FALSE(limit.Allow(kA, 5500));
  EXPECT_FALSE(limit.Allow(kA, 5999));
  EXPECT_TRUE(limit.Allow(kB, 5999));                         // another address is not held back
  EXPECT_TRUE(limit.Allow(NetAddress{kA.ipv4, 8201}, 5999));  // nor another port
  EXPECT_TRUE(limit.Allow(kA, 6000));                         // a new window
}

TEST(SourceLimitTest, AHandsetKeepingAliveEveryTenSecondsIsAlwaysAllowed) {
  SourceLimit limit(4, 1000);
  for (uint64_t t = 0; t < 3600000; t += 10000) ASSERT_TRUE(limit.Allow(kA, t)) << t;
}

TEST(SourceLimitTest, AFloodOfMadeUpSourcesFreesAnAddressRarelyIfAtAll) {
  SourceLimit limit(2, 1000);
  EXPECT_TRUE(limit.Allow(kA, 0));
  EXPECT_TRUE(limit.Allow(kA, 0));
  EXPECT_FALSE(limit.Allow(kA, 1));
  // A hundred thousand other sources in the same second: the table stays its fixed
  // size, and at worst kA's entry is taken over and kA starts a fresh window.
  size_t allowed_again = 0;
  for (uint32_t i = 0; i < 100000; ++i) {
    limit.Allow(NetAddress{0x0A000000u + i, static_cast<uint16_t>(i)}, 2);
    if (i % 1000 == 0 && limit.Allow(kA, 2)) ++allowed_again;
  }
  EXPECT_LE(allowed_again, 100u);
}

TEST(SourceLimitTest, ZeroMeansNoLimit) {
  SourceLimit limit(0, 1000);
  for (int i = 0; i < 1000; ++i) EXPECT_TRUE(limit.Allow(kA, 0));
}

}  // namespace
}  // namespace kestrelio
