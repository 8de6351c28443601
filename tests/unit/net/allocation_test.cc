// Heap allocations on the per-message paths: the media channel's receive path (sequence
// check, loss report, decode, timer re-arm), loss receipt, the probe echo, the send path,
// and the transport's UDP intake. Counted with glibc's allocator interposed.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <thread>

#include "base/diag.h"
#include "base/testing/alloc_counter.h"
#include "media/decoder.h"
#include "net/transport/media_channel.h"
#include "net/transport/transport.h"
#include "tests/support/net_samples.h"
#include "ui/testing/console_window.h"

namespace kestrelio {
namespace {

// Neither the window nor the socket stand-in allocates.
class NullPort : public DatagramSender {
 public:
  SendResult Send(std::span<const uint8_t> message, const NetAddress&) override {
    sent.fetch_add(1);
    return SendResult::Sent(message.size());
  }
  std::atomic<int> sent{0};
};

class CountingHandler : public ControlMessageHandler, public MediaMessageHandler {
 public:
  void OnControlMessage(const ReceivedMessage&) override { seen.fetch_add(1); }
  void OnMediaMessage(const ReceivedMessage&) override { seen.fetch_add(1); }
  std::atomic<int> seen{0};
};

// Decoding is the media module's (libavcodec copies each packet and keeps per-picture
// buffers); what the channel adds around it must be nothing. A twin decoder fed the same
// payloads directly gives the decoder's own count.
TEST(NetAllocationTest, MediaChannelPathsAllocateNothingOfTheirOwn) {
  if (!bench::AllocationCountingAvailable()) GTEST_SKIP() << "sanitizer build";
  DiagQuietScope quiet;
  auto pictures = testing::EncodePictures(40);
  ASSERT_EQ(pictures.size(), 40u);
  std::vector<std::vector<uint8_t>> datagrams;
  for (size_t i = 0; i < pictures.size(); ++i) {
    // Sequence numbers with gaps, so loss reports and diagnostics are on the path too.
    datagrams.push_back(testing::VideoDatagram(static_cast<uint16_t>(1 + i + i / 10), pictures[i]));
  }
  auto wrong_count = datagrams[5];
  wrong_count[9] ^= 1;
  std::array<uint8_t, kPacketLossBytes> loss{};
  BuildPacketLoss(loss, {4, 3});
  std::array<uint8_t, kRttProbeReqBytes> probe{};
  BuildRttProbeReq(probe, {5, 6});

  NullPort port;
  PeerLink peer;
  peer.Set(NetAddress{0x7F000003, 8200});
  CallFlags call;
  call.in_call = true;
  auto decoder = std::make_unique<DecoderState>();
  auto twin = std::make_unique<DecoderState>();
  ASSERT_EQ(DecoderOpen(*decoder), 0);
  ASSERT_EQ(DecoderOpen(*twin), 0);
  KeyframeRequests keyframes;
  MediaReceiveCounters counters;
  bench::ConsoleWindow window;
  MediaChannel channel(
      MediaChannelContext{port, peer, call, *decoder, keyframes, counters, window});
  channel.ResetReceive();
  auto deliver = [&](std::span<const uint8_t> bytes) {
    channel.OnMediaMessage(
        ReceivedMessage{*ParseHeader(bytes), bytes, peer.Get(), Channel::kUdp});
  };
  // Warm-up: the decoders' picture pools fill on the first pictures, and the first
  // diagnostic line loads the time zone once per process.
  for (size_t i = 0; i < 4; ++i) {
    deliver(datagrams[i]);
    DecodeIntoRing(*twin, pictures[i]);
  }
  Diag("warm-up");

  // Everything but decoding.
  std::vector<std::vector<uint8_t>> empties;
  for (uint16_t s = 200; s < 240; s += 2) empties.push_back(testing::EmptyVideoDatagram(s));
  bench::StartCountingAllocations();
  for (const auto& empty : empties) {
    deliver(empty);  // a gap every time: diagnostic and PacketLoss
    deliver(wrong_count);
    deliver(loss);
    deliver(probe);
    channel.SendVideoPayload(pictures[0], 7);
  }
  channel.SendRttProbe(9);
  EXPECT_EQ(bench::StopCountingAllocations(), 0u);

  bench::StartCountingAllocations();
  for (size_t i = 4; i < pictures.size(); ++i) DecodeIntoRing(*twin, pictures[i]);
  const uint64_t decoder_alone = bench::StopCountingAllocations();
  channel.ResetReceive();
  bench::StartCountingAllocations();
  for (size_t i = 4; i < datagrams.size(); ++i) deliver(datagrams[i]);
  const uint64_t through_channel = bench::StopCountingAllocations();
  EXPECT_EQ(through_channel, decoder_alone);
  std::printf("decoder allocations: %.1f a picture (libavcodec)\n",
              double(decoder_alone) / double(pictures.size() - 4));
  EXPECT_GT(counters.packets_missing.load(), 0u);
  DecoderClose(*decoder);
  DecoderClose(*twin);
}

TEST(NetAllocationTest, UdpIntakeAllocatesNothing) {
  if (!bench::AllocationCountingAvailable()) GTEST_SKIP() << "sanitizer build";
  bench::ConsoleWindow window;
  CountingHandler control;
  CountingHandler media;
  Transport transport(window);
  ASSERT_TRUE(transport.Start(TransportConfig{0x7F000001, 0, 0}, control, media));
  int client = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(0x7F000001);
  to.sin_port = htons(transport.udp_port());
  std::array<uint8_t, kPacketLossBytes> loss{};
  BuildPacketLoss(loss, {4, 3});
  const std::array<uint8_t, 6> cancel = {0x11, 0x34, 0x06, 0x00, 0x01, 0x00};

  bench::StartCountingAllocations();
  for (int i = 0; i < 200; ++i) {
    sendto(client, loss.data(), loss.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    sendto(client, cancel.data(), cancel.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    // Keep the socket buffer from overflowing.
    while (media.seen.load() < i + 1 || control.seen.load() < i + 1) std::this_thread::yield();
  }
  const uint64_t allocations = bench::StopCountingAllocations();
  EXPECT_EQ(allocations, 0u);
  close(client);
  transport.Stop();
}

}  // namespace
}  // namespace kestrelio
