// The media channel's receive and send paths against a scripted socket and the fake
// window: sequence checks and loss reports, the count check, the picture ring hand-off,
// the network-loss watch, loss receipt, the round-trip probe and the send failure box.
#include "net/transport/media_channel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "media/decoder.h"
#include "tests/support/net_samples.h"
#include "tests/support/scripted_port.h"

namespace kestrelio {
namespace {

using testing::EmptyVideoDatagram;
using testing::ScriptedPort;
using testing::VideoDatagram;

const NetAddress kPeer{0x0A000009, 8200};  // 10.0.0.9:8200

class MediaChannelTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { pictures_ = new auto(testing::EncodePictures(8)); }
  static void TearDownTestSuite() { delete pictures_; }

  void SetUp() override {
    ASSERT_EQ(pictures_->size(), 8u);
    ASSERT_EQ(DecoderOpen(*decoder_), 0);
    peer_.Set(kPeer);
    call_.in_call = true;
    channel_.ResetReceive();
  }
  void TearDown() override { DecoderClose(*decoder_); }

  void Deliver(std::span<const uint8_t> datagram) {
    auto header = ParseHeader(datagram);
    ASSERT_TRUE(header.has_value());
    channel_.OnMediaMessage(ReceivedMessage{*header, datagram, kPeer, Channel::kUdp});
  }
  void DeliverPicture(uint16_t sequence, size_t picture) {
    Deliver(VideoDatagram(sequence, (*pictures_)[picture]));
  }
  // The watch holds an impossible stamp until a VideoData stamps it.
  bool Stamped() { return watch_.last_heard_ms.exchange(kUnstamped) != kUnstamped; }

  static constexpr uint32_t kUnstamped = 0xFFFFFFFFu;
  static std::vector<std::vector<uint8_t>>* pictures_;
  ScriptedPort port_;
  PeerLink peer_;
  CallFlags call_;
  std::unique_ptr<DecoderState> decoder_ = std::make_unique<DecoderState>();
  KeyframeRequests keyframes_;
  MediaReceiveCounters counters_;
  FakeWindow window_;
  NetworkLossWatch watch_{kUnstamped};
  MediaChannel channel_{MediaChannelContext{port_, peer_, call_, *decoder_, keyframes_, counters_,
                                            window_, nullptr, &watch_}};
};

std::vector<std::vector<uint8_t>>* MediaChannelTest::pictures_ = nullptr;

TEST_F(MediaChannelTest, GapReportsOneLossAndResumesAfterTheReceivedNumber) {
  DeliverPicture(1, 0);
  DeliverPicture(2, 1);
  DeliverPicture(4, 2);
  auto losses = port_.OfType(MessageType::kPacketLoss);
  ASSERT_EQ(losses.size(), 1u);
  const std::vector<uint8_t> expected_bytes = {0x11, 0x21, 0x0A, 0x00, 0x03,
                                               0x00, 0x04, 0x00, 0x03, 0x00};
  EXPECT_EQ(losses[0].bytes, expected_bytes);
  EXPECT_EQ(losses[0].to, kPeer);
  EXPECT_EQ(channel_.expected_sequence(), 5);
  EXPECT_EQ(channel_.received_messages(), 3u);
  auto counts = counters_.TakeAndClear();
  EXPECT_EQ(counts.packets_missing, 1u);
  EXPECT_EQ(counts.frames_received, 3u);
  EXPECT_EQ(counters_.TakeAndClear().frames_received, 0u);  // cleared by the read
}

TEST_F(MediaChannelTest, LateNumberIsReportedLikeAGap) {
  for (uint16_t s = 1; s <= 5; ++s) Deliver(EmptyVideoDatagram(s));
  EXPECT_TRUE(port_.OfType(MessageType::kPacketLoss).empty());
  Deliver(EmptyVideoDatagram(4));
  auto losses = port_.OfType(MessageType::kPacketLoss);
  ASSERT_EQ(losses.size(), 1u);
  EXPECT_EQ(ParsePacketLoss(losses[0].bytes), (PacketLossFields{4, 6}));
  EXPECT_EQ(channel_.expected_sequence(), 5);
}

TEST_F(MediaChannelTest, SequenceWrapsAt65536WithoutALoss) {
  for (uint32_t s = 1; s <= 65537; ++s) Deliver(EmptyVideoDatagram(static_cast<uint16_t>(s)));
  EXPECT_TRUE(port_.OfType(MessageType::kPacketLoss).empty());
  EXPECT_EQ(channel_.expected_sequence(), 2);
}

TEST_F(MediaChannelTest, EmptyPictureIsNotDecodedButStampsTheNetworkLossWatch) {
  DeliverPicture(1, 0);
  EXPECT_TRUE(Stamped());
  const uint32_t write_index = decoder_->ring.write_index.load();

  Deliver(EmptyVideoDatagram(2));  // payload arrived this second: stamped
  EXPECT_TRUE(Stamped());
  EXPECT_EQ(decoder_->ring.write_index.load(), write_index);
  EXPECT_EQ(channel_.received_messages(), 2u);

  counters_.TakeAndClear();  // the next second begins
  Deliver(EmptyVideoDatagram(3));
  EXPECT_FALSE(Stamped());
  EXPECT_EQ(counters_.TakeAndClear().frames_received, 0u);
  // The video path itself never touches a window timer.
  EXPECT_TRUE(window_.TimerLog().empty());
}

TEST_F(MediaChannelTest, WrongCountIsDroppedAndDoesNotStampByItself) {
  auto message = VideoDatagram(1, (*pictures_)[0]);
  message[9] ^= 0x01;  // the big-endian count no longer matches the length
  Deliver(message);
  EXPECT_FALSE(Stamped());
  EXPECT_EQ(channel_.received_messages(), 0u);
  EXPECT_EQ(decoder_->ring.full[0].load(), 0u);
  auto counts = counters_.TakeAndClear();
  EXPECT_EQ(counts.frames_received, 0u);
  EXPECT_EQ(counts.payload_bytes_received, message.size() - 10);  // counted before the check
  EXPECT_EQ(channel_.expected_sequence(), 2);                     // the sequence check ran first
}

// The display thread may be copying any full slot, so a stalled display makes the
// receive path drop pictures (still decoding them) rather than write a full slot.
TEST_F(MediaChannelTest, StalledDisplayDropsTheFifthAndLaterPicturesAndNeverWritesAFullSlot) {
  for (uint16_t s = 1; s <= 4; ++s) DeliverPicture(s, s - 1);
  for (uint32_t slot = 0; slot < kPictureSlots; ++slot) EXPECT_EQ(decoder_->ring.full[slot], 1u);
  EXPECT_EQ(decoder_->ring.write_index.load(), 0u);
  std::vector<uint8_t> slot0(decoder_->ring.Slot(0), decoder_->ring.Slot(0) + 96 * 80 * 3);

  DeliverPicture(5, 4);
  DeliverPicture(6, 5);
  EXPECT_EQ(decoder_->ring.write_index.load(), 0u);
  EXPECT_EQ(std::memcmp(slot0.data(), decoder_->ring.Slot(0), slot0.size()), 0);
  EXPECT_EQ(counters_.TakeAndClear().frames_received, 6u);

  // The display frees the oldest slot: the next picture goes there.
  decoder_->ring.full[0].store(0);
  DeliverPicture(7, 6);
  EXPECT_NE(std::memcmp(slot0.data(), decoder_->ring.Slot(0), slot0.size()), 0);
  EXPECT_EQ(decoder_->ring.full[0].load(), 1u);
  EXPECT_EQ(decoder_->ring.write_index.load(), 1u);
}

TEST_F(MediaChannelTest, VideoOutsideACallIsDroppedBeforeAnyCheck) {
  call_.in_call = false;
  DeliverPicture(7, 0);
  EXPECT_TRUE(port_.AllSent().empty());
  EXPECT_EQ(channel_.expected_sequence(), 1);
  EXPECT_EQ(channel_.received_messages(), 0u);
  EXPECT_EQ(counters_.TakeAndClear().payload_bytes_received, 0u);
  EXPECT_FALSE(Stamped());
}

TEST_F(MediaChannelTest, ResetReceiveStartsTheCallAfresh) {
  DeliverPicture(1, 0);
  Deliver(EmptyVideoDatagram(9));
  channel_.ResetReceive();
  EXPECT_EQ(channel_.expected_sequence(), 1);
  EXPECT_EQ(channel_.received_messages(), 0u);
  auto counts = counters_.TakeAndClear();
  EXPECT_EQ(counts.packets_missing, 0u);
  EXPECT_EQ(counts.frames_received, 0u);
}

TEST_F(MediaChannelTest, LossReportRequestsAKeyFrame) {
  std::array<uint8_t, kPacketLossBytes> message{};
  BuildPacketLoss(message, PacketLossFields{4, 3});
  Deliver(message);
  EXPECT_TRUE(keyframes_.packet_loss.load());
  EXPECT_FALSE(keyframes_.still.load());
  EXPECT_TRUE(port_.AllSent().empty());
}

TEST_F(MediaChannelTest, ProbeIsEchoedToThePeerAndProbesGoOut) {
  std::array<uint8_t, kRttProbeReqBytes> request{};
  BuildRttProbeReq(request, RttProbeFields{9, 0x12345678});
  Deliver(request);
  auto answers = port_.OfType(MessageType::kRttProbeRsp);
  ASSERT_EQ(answers.size(), 1u);
  const std::vector<uint8_t> expected = {0x11, 0x23, 0x0C, 0x00, 0x09, 0x00,
                                         0x09, 0x00, 0x34, 0x12, 0x78, 0x56};
  EXPECT_EQ(answers[0].bytes, expected);
  EXPECT_EQ(answers[0].to, kPeer);

  EXPECT_TRUE(channel_.SendRttProbe(3));
  auto probes = port_.OfType(MessageType::kRttProbeReq);
  ASSERT_EQ(probes.size(), 1u);
  ASSERT_EQ(probes[0].bytes.size(), kRttProbeReqBytes);
  EXPECT_EQ(ParseRttProbeReq(probes[0].bytes)->probe_number, 3);

  // The echo of our own probe only writes a diagnostic line.
  std::array<uint8_t, kRttProbeRspBytes> answer{};
  BuildRttProbeRsp(answer, *ParseRttProbeReq(probes[0].bytes));
  Deliver(answer);
  EXPECT_EQ(port_.AllSent().size(), 2u);
}

TEST_F(MediaChannelTest, PictureGoesOutAsOneVideoData) {
  const auto& payload = (*pictures_)[0];
  channel_.SendVideoPayload(payload, 7);
  auto sent = port_.OfType(MessageType::kVideoData);
  ASSERT_EQ(sent.size(), 1u);
  const auto& bytes = sent[0].bytes;
  ASSERT_EQ(bytes.size(), payload.size() + 6);
  EXPECT_EQ(bytes[2] | bytes[3] << 8, int(payload.size() + 6));
  EXPECT_EQ(bytes[4] | bytes[5] << 8, 7);
  EXPECT_TRUE(std::equal(payload.begin(), payload.end(), bytes.begin() + 6));
  EXPECT_EQ(sent[0].to, kPeer);
  EXPECT_TRUE(window_.Boxes().empty());
}

TEST_F(MediaChannelTest, OversizedPictureIsCutAndKeepsItsCount) {
  std::vector<uint8_t> payload(4 + 40000, 0x5A);
  payload[0] = 0x00;
  payload[1] = 0x00;
  payload[2] = 0x9C;
  payload[3] = 0x40;  // 40000
  channel_.SendVideoPayload(payload, 1);
  auto sent = port_.OfType(MessageType::kVideoData);
  ASSERT_EQ(sent.size(), 1u);
  ASSERT_EQ(sent[0].bytes.size(), kMaxMessageBytes);
  EXPECT_EQ(sent[0].bytes[2] | sent[0].bytes[3] << 8, 32768);
  EXPECT_TRUE(std::equal(payload.begin(), payload.begin() + 4, sent[0].bytes.begin() + 6));
  // The receiver refuses it by its count.
  auto parsed = ParseVideoData(sent[0].bytes);
  ASSERT_TRUE(parsed.has_value());
  EXPECT_FALSE(parsed->frame_valid);
}

TEST_F(MediaChannelTest, ShortSendShowsTheErrorBox) {
  port_.FailNextSend(5);
  channel_.SendVideoPayload((*pictures_)[1], 2);
  auto boxes = window_.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Data Sending Error (5)");
  EXPECT_EQ(boxes[0].caption, "ERROR");
}

}  // namespace
}  // namespace kestrelio
