// Exact bytes on the wire, including the quirks peers rely on.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "net/wire/call_messages.h"
#include "net/wire/media_messages.h"
#include "net/wire/presence_messages.h"

namespace kestrelio {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Built(std::span<const uint8_t> buffer, size_t length) {
  return Bytes(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length));
}

std::string_view Chars(std::span<const uint8_t> buffer, size_t offset, size_t count) {
  return std::string_view(reinterpret_cast<const char*>(buffer.data()) + offset, count);
}

TEST(WireBytes, ShortMessagesMatchTheirImages) {
  std::array<uint8_t, 64> out;
  out.fill(0xAA);
  EXPECT_EQ(Built(out, BuildCallCancelReq(out)), (Bytes{0x11, 0x34, 0x06, 0x00, 0x01, 0x00}));
  out.fill(0xAA);
  EXPECT_EQ(Built(out, BuildVideoPauseInd(out, true)),
            (Bytes{0x11, 0x33, 0x07, 0x00, 0x01, 0x00, 0x31}));
  EXPECT_EQ(out[6 + 1], 0xAA) << "a builder writes nothing past its length";
  EXPECT_EQ(Built(out, BuildVideoPauseInd(out, false)).back(), '0');
  EXPECT_EQ(Built(out, BuildPacketLoss(out, {.received = 4, .expected = 3})),
            (Bytes{0x11, 0x21, 0x0A, 0x00, 0x03, 0x00, 0x04, 0x00, 0x03, 0x00}));
}

TEST(WireBytes, VideoDataOfThousandBytes) {
  std::vector<uint8_t> out(kMaxMessageBytes);
  std::vector<uint8_t> frame(1000, 0x5A);
  ASSERT_EQ(BuildVideoData(out, 7, frame), 1010u);
  EXPECT_EQ((Bytes{out[0], out[1], out[2], out[3], out[4], out[5]}),
            (Bytes{0x11, 0x31, 0xF2, 0x03, 0x07, 0x00}));
  EXPECT_EQ((Bytes{out[6], out[7], out[8], out[9]}), (Bytes{0x00, 0x00, 0x03, 0xE8}));
  EXPECT_EQ(out[10], 0x5A);
  EXPECT_EQ(out[1009], 0x5A);
}

TEST(WireBytes, VideoDataWrittenInPlace) {
  std::vector<uint8_t> out(kMaxMessageBytes);
  auto slot = VideoDataFrameSlot(out);
  ASSERT_EQ(slot.data(), out.data() + 10);
  ASSERT_EQ(slot.size(), kMaxMessageBytes - 10);
  slot[0] = 0;
  slot[1] = 0;
  slot[2] = 0;
  slot[3] = 1;
  ASSERT_EQ(FinishVideoData(out, 1, 4), 14u);
  auto parsed = ParseVideoData(std::span(out).first(14));
  ASSERT_TRUE(parsed && parsed->frame_valid);
  EXPECT_EQ(parsed->frame.data(), out.data() + 10) << "the parser exposes the frame in place";
  EXPECT_EQ(parsed->frame.size(), 4u);
  EXPECT_EQ(parsed->after_count.size(), 8u);
}

TEST(WireBytes, OversizedVideoDataIsCutAndThenRefusedByTheReceiver) {
  std::vector<uint8_t> out(kMaxMessageBytes);
  std::vector<uint8_t> frame(40000, 0x01);
  size_t length = BuildVideoData(out, 9, frame);
  ASSERT_EQ(length, 32768u) << "6 + 32762";
  EXPECT_EQ(out[2] | (out[3] << 8), 32768);
  EXPECT_EQ((Bytes{out[6], out[7], out[8], out[9]}), (Bytes{0x00, 0x00, 0x9C, 0x40}))
      << "the count keeps the true frame size";
  auto parsed = ParseVideoData(out);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->sequence, 9);
  EXPECT_FALSE(parsed->frame_valid);
  EXPECT_TRUE(parsed->frame.empty());

  // One byte over the largest frame that fits is cut the same way.
  EXPECT_EQ(FinishVideoData(out, 1, kMaxVideoFrameBytes + 1), 32768u);
  EXPECT_EQ(FinishVideoData(out, 1, kMaxVideoFrameBytes), 32768u);
  EXPECT_TRUE(ParseVideoData(out)->frame_valid);
}

TEST(WireBytes, AnswerTextFillsTheMessageWithoutNul) {
  std::array<uint8_t, 128> out;
  out.fill(0xAA);
  AnswerFields answer{
      .type = MessageType::kCallAcceptRsp, .phone = "01012345678", .user_name = "Mina"};
  ASSERT_EQ(BuildCallAnswer(out, answer), 106u);
  EXPECT_EQ(out[1], 2);
  EXPECT_EQ(Chars(out, 82, 24), "welcome! enjoy the call!");
  EXPECT_EQ(out[106], 0xAA) << "no NUL after the text";
  EXPECT_EQ(Chars(out, 6, 12), std::string_view("01012345678\0", 12));
  EXPECT_EQ(Chars(out, 44, 5), std::string_view("Mina\0", 5));
  for (size_t i = 76; i < 82; ++i) EXPECT_EQ(out[i], 0) << i;

  answer.type = MessageType::kCallCancelReq;
  ASSERT_EQ(BuildCallAnswer(out, answer), 106u);
  EXPECT_EQ(out[1], 52);
  answer.type = MessageType::kCallReleaseReq;
  EXPECT_EQ(BuildCallAnswer(out, answer), 0u) << "not an answer type";
}

TEST(WireBytes, KeepAliveEndsWithItsEightCharacterMarker) {
  std::array<uint8_t, 128> out;
  out.fill(0xAA);
  KeepAliveFields keep_alive{.counter = 0x1234,
                             .phone = "01099998888",
                             .local_address = "192.168.1.20",
                             .user_name = "Jae",
                             .device_id = "0123456789ABCDEF0123",
                             .status = kStatusInCall};
  ASSERT_EQ(BuildKeepAlive(out, keep_alive), 124u);
  EXPECT_EQ(Chars(out, 116, 8), "keep ali");
  EXPECT_EQ(out[124], 0xAA);
  EXPECT_EQ((Bytes{out[0], out[1], out[2], out[3], out[4], out[5]}),
            (Bytes{0x11, 0x41, 124, 0, 0x34, 0x12}));
  EXPECT_EQ(out[42] | (out[43] << 8), 8200);
  EXPECT_EQ(Chars(out, 76, 6), std::string_view("1.0.5\0", 6));
  EXPECT_EQ(out[114], 2);
  // Every byte of the user-name slot after the name is zero.
  for (size_t i = 47; i < 76; ++i) EXPECT_EQ(out[i], 0) << i;
}

TEST(WireBytes, ProbesKeepTheirOddLengths) {
  std::array<uint8_t, 32> out;
  out.fill(0xAA);
  RttProbeFields probe{.probe_number = 5, .tick_ms = 0x00012345};
  ASSERT_EQ(BuildRttProbeReq(out, probe), 14u);
  EXPECT_EQ(Built(out, 14), (Bytes{0x11, 0x22, 14, 0, 5, 0, 5, 0, 0x01, 0x00, 0x45, 0x23, 0, 0}));
  ASSERT_EQ(BuildRttProbeRsp(out, probe), 12u);
  EXPECT_EQ(Built(out, 12), (Bytes{0x11, 0x23, 12, 0, 5, 0, 5, 0, 0x01, 0x00, 0x45, 0x23}));
  EXPECT_EQ(RoundTripMs(0x00012345 + 48, probe), 48u);
  EXPECT_EQ(RoundTripMs(3, RttProbeFields{1, 0xFFFFFFFE}), 5u) << "across the tick wrap";
}

TEST(WireBytes, SetupRequestAndRelease) {
  std::array<uint8_t, 106> out;
  CallSetupFields setup{.call_id = 0xBEEF,
                        .phone = "01011112222",
                        .public_address = "203.0.113.9",
                        .public_port = 40001,
                        .user_name = "Ari"};
  ASSERT_EQ(BuildCallSetupReq(out, setup), 106u);
  EXPECT_EQ(out[4] | (out[5] << 8), 0xBEEF);
  EXPECT_EQ(out[76] | (out[77] << 8), 1005);
  EXPECT_EQ(out[78], 96);
  EXPECT_EQ(out[80], 80);
  EXPECT_EQ(Chars(out, 82, 22), std::string_view("hello, are you there?\0", 22));
  EXPECT_EQ(out[104] | out[105], 0);

  ASSERT_EQ(BuildCallSetupDummyReq(out, setup), 106u);
  EXPECT_EQ(out[4] | (out[5] << 8), 1) << "the dummy request's word4 is the constant 1";
  EXPECT_EQ(out[44], 0) << "no user name";
  EXPECT_EQ(out[82], 0) << "no greeting";

  ASSERT_EQ(BuildCallReleaseReq(out), 106u);
  EXPECT_EQ((Bytes{out[0], out[1], out[2], out[3], out[4], out[5]}),
            (Bytes{0x11, 0x11, 106, 0, 1, 0}));
  for (size_t i = 6; i < 106; ++i) ASSERT_EQ(out[i], 0) << i;
}

TEST(WireBytes, ChatTextIsUtf16LittleEndianWithNul) {
  std::array<uint8_t, 64> out;
  ASSERT_EQ(BuildChatText(out, u"hi\u00e9"), 14u);
  EXPECT_EQ(Built(out, 14), (Bytes{0x11, 0x32, 14, 0, 1, 0, 'h', 0, 'i', 0, 0xE9, 0, 0, 0}));
  std::vector<uint8_t> big(kMaxMessageBytes);
  std::u16string long_line(300, u'x');
  EXPECT_EQ(BuildChatText(big, long_line), 6u + 2 * 256) << "cut to 255 characters";
}

}  // namespace
}  // namespace kestrelio
