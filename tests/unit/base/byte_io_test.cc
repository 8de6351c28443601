// The bounded byte reader and writer: both byte orders, the big-endian count of the
// video payload, and the sticky error flag at every edge of the buffer.
#include "base/byte_io.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace kestrelio {
namespace {

TEST(ByteWriterTest, WritesABigEndianCountMostSignificantByteFirst) {
  std::array<uint8_t, 4> out{};
  ByteWriter w(out);
  w.U32Be(0, 1000);
  EXPECT_TRUE(w.ok());
  EXPECT_EQ(out, (std::array<uint8_t, 4>{0x00, 0x00, 0x03, 0xE8}));
  w.U32Be(0, 0x11520);
  EXPECT_EQ(out, (std::array<uint8_t, 4>{0x00, 0x01, 0x15, 0x20}));
  w.U32Be(0, 0xFFFFFFFF);
  EXPECT_EQ(out, (std::array<uint8_t, 4>{0xFF, 0xFF, 0xFF, 0xFF}));
  w.U32Be(0, 0);
  EXPECT_EQ(out, (std::array<uint8_t, 4>{}));
}

TEST(ByteReaderTest, ReadsABigEndianCountMostSignificantByteFirst) {
  const std::array<uint8_t, 6> in = {0x00, 0x00, 0x03, 0xE8, 0x80, 0x01};
  ByteReader r(in);
  EXPECT_EQ(r.U32Be(0), 1000u);
  EXPECT_EQ(r.U32Be(2), 0x03E88001u);
  EXPECT_TRUE(r.ok());
}

TEST(ByteIoTest, BigEndianCountsRoundTrip) {
  for (uint32_t value :
       {0u, 1u, 255u, 256u, 11520u, 32762u, 0x7FFFFFFFu, 0x80000000u, 0xDEADBEEFu}) {
    std::array<uint8_t, 4> bytes{};
    ByteWriter w(bytes);
    w.U32Be(0, value);
    ByteReader r(bytes);
    EXPECT_EQ(r.U32Be(0), value);
    EXPECT_TRUE(w.ok() && r.ok());
  }
}

TEST(ByteIoTest, LittleEndianIntegersLeastSignificantByteFirst) {
  std::array<uint8_t, 14> out{};
  ByteWriter w(out);
  w.U16Le(0, 0x03F2);
  w.U32Le(2, 0x000001E0);
  w.U64Le(6, 0x0102030405060708ull);
  EXPECT_TRUE(w.ok());
  EXPECT_EQ(out, (std::array<uint8_t, 14>{0xF2, 0x03, 0xE0, 0x01, 0x00, 0x00, 0x08, 0x07, 0x06,
                                          0x05, 0x04, 0x03, 0x02, 0x01}));
  ByteReader r(out);
  EXPECT_EQ(r.U16Le(0), 0x03F2);
  EXPECT_EQ(r.U32Le(2), 0x1E0u);
  EXPECT_EQ(r.U64Le(6), 0x0102030405060708ull);
  EXPECT_TRUE(r.ok());
}

// A field of every width written into buffers of every smaller size is refused whole:
// nothing is written and the flag is set.
TEST(ByteIoTest, EveryWidthIsRefusedByEveryBufferTooSmallForIt) {
  for (size_t width : {1u, 2u, 4u, 8u}) {
    for (size_t size = 0; size < width; ++size) {
      std::vector<uint8_t> out(size, 0xAA);
      ByteWriter w(out);
      switch (width) {
        case 1:
          w.U8(0, 0);
          break;
        case 2:
          w.U16Le(0, 0);
          break;
        case 4:
          w.U32Be(0, 0);
          break;
        default:
          w.U64Le(0, 0);
          break;
      }
      EXPECT_FALSE(w.ok()) << width << " into " << size;
      EXPECT_EQ(out, std::vector<uint8_t>(size, 0xAA));

      std::vector<uint8_t> in(size, 0xAA);
      ByteReader r(in);
      uint64_t value = 1;
      switch (width) {
        case 1:
          value = r.U8(0);
          break;
        case 2:
          value = r.U16Le(0);
          break;
        case 4:
          value = r.U32Be(0);
          break;
        default:
          value = r.U64Le(0);
          break;
      }
      EXPECT_EQ(value, 0u);
      EXPECT_FALSE(r.ok()) << width << " from " << size;
    }
  }
}

TEST(ByteIoTest, TheErrorFlagStaysSetAfterLaterSoundAccesses) {
  std::array<uint8_t, 8> buffer{};
  ByteWriter w(buffer);
  w.U32Be(6, 1);  // crosses the end
  w.U32Be(0, 1);
  EXPECT_FALSE(w.ok());
  EXPECT_EQ(buffer[3], 1);  // the sound write still happened
  ByteReader r(buffer);
  r.U32Le(5);
  EXPECT_EQ(r.U32Be(0), 1u);
  EXPECT_FALSE(r.ok());
}

TEST(ByteIoTest, OffsetsNearTheTopOfTheRangeDoNotWrapAround) {
  std::array<uint8_t, 8> buffer{};
  ByteWriter w(buffer);
  w.U32Be(SIZE_MAX - 1, 1);
  EXPECT_FALSE(w.ok());
  ByteReader r(buffer);
  EXPECT_EQ(r.U64Le(SIZE_MAX - 3), 0u);
  EXPECT_FALSE(r.ok());
}

}  // namespace
}  // namespace kestrelio
