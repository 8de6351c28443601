// The live transport on loopback: message intake and routing on UDP and TCP, malformed
// datagrams of every type, socket failures at start-up, and stop and restart.
#include "net/transport/transport.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "media/decoder.h"
#include "net/socket/unique_fd.h"
#include "net/transport/media_channel.h"
#include "net/wire/call_messages.h"
#include "tests/support/diag_capture.h"
#include "tests/support/loopback_socket.h"
#include "tests/support/net_samples.h"
#include "tests/support/wait.h"

namespace kestrelio {
namespace {

using testing::LocalPort;
using testing::Loopback;
using testing::TestSocket;

constexpr uint32_t kLoopback = 0x7F000001;

class RecordingHandler : public ControlMessageHandler, public MediaMessageHandler {
 public:
  struct Seen {
    uint8_t type;
    Channel channel;
    NetAddress from;
    size_t size;
  };
  void OnControlMessage(const ReceivedMessage& message) override { Record(message); }
  void OnMediaMessage(const ReceivedMessage& message) override { Record(message); }
  void Record(const ReceivedMessage& message) {
    std::lock_guard lock(mutex_);
    seen_.push_back(
        Seen{message.header.type, message.channel, message.from, message.datagram.size()});
    changed_.notify_all();
  }
  bool WaitFor(size_t count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(5), [&] { return seen_.size() >= count; });
  }
  std::vector<Seen> seen() const {
    std::lock_guard lock(mutex_);
    return seen_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Seen> seen_;
};

class TransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(transport_.Start(TransportConfig{kLoopback, 0, 0}, control_, media_));
    ASSERT_TRUE(transport_.udp_open());
    ASSERT_TRUE(transport_.tcp_open());
    ASSERT_NE(transport_.udp_port(), 0);
    ASSERT_NE(transport_.tcp_port(), 0);
  }

  void SendUdp(std::span<const uint8_t> bytes) {
    sockaddr_in to = Loopback(transport_.udp_port());
    ASSERT_EQ(sendto(client_.get(), bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to),
                     sizeof to),
              static_cast<ssize_t>(bytes.size()));
  }

  FakeWindow window_;
  RecordingHandler control_;
  RecordingHandler media_;
  Transport transport_{window_};
  UniqueFd client_ = TestSocket(SOCK_DGRAM, 2000);
};

std::vector<uint8_t> CancelMessage() {
  std::vector<uint8_t> message(6);
  message = {0x11, 0x34, 0x06, 0x00, 0x01, 0x00};
  return message;
}

TEST_F(TransportTest, RoutesTheVideoPathToTheMediaChannelAndTheRestToSignalling) {
  std::array<uint8_t, kPacketLossBytes> loss{};
  BuildPacketLoss(loss, {4, 3});
  std::array<uint8_t, kRttProbeReqBytes> probe{};
  BuildRttProbeReq(probe, {1, 2});
  std::array<uint8_t, kRttProbeRspBytes> answer{};
  BuildRttProbeRsp(answer, {1, 2});
  SendUdp(loss);
  SendUdp(probe);
  SendUdp(answer);
  SendUdp(testing::EmptyVideoDatagram(1));
  SendUdp(CancelMessage());
  const std::vector<uint8_t> undefined = {0x11, 0x63, 0x06, 0x00, 0x00, 0x00};  // type 99
  SendUdp(undefined);
  ASSERT_TRUE(media_.WaitFor(4));
  ASSERT_TRUE(control_.WaitFor(2));
  auto media = media_.seen();
  EXPECT_EQ(media[0].type, 33);
  EXPECT_EQ(media[1].type, 34);
  EXPECT_EQ(media[2].type, 35);
  EXPECT_EQ(media[3].type, 49);
  auto control = control_.seen();
  EXPECT_EQ(control[0].type, 52);
  EXPECT_EQ(control[0].channel, Channel::kUdp);
  EXPECT_EQ(control[0].from, (NetAddress{kLoopback, LocalPort(client_.get())}));
  EXPECT_EQ(control[1].type, 99);  // signalling reports undefined types itself
}

TEST_F(TransportTest, MalformedDatagramsOfEveryTypeAreDroppedAndIntakeGoesOn) {
  size_t expected_control = 0;
  for (int type = 0; type < 256; ++type) {
    const auto t = static_cast<uint8_t>(type);
    // Wrong version, too short, length field disagreeing with the size (both ways).
    const std::vector<uint8_t> wrong_version = {0x12, t, 0x06, 0x00, 0x00, 0x00};
    const std::vector<uint8_t> short_header = {0x11, t, 0x06, 0x00};
    const std::vector<uint8_t> long_field = {0x11, t, 0x40, 0x00, 0x00, 0x00, 0x00};
    const std::vector<uint8_t> short_field = {0x11, t, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00};
    SendUdp(wrong_version);
    SendUdp(short_header);
    SendUdp(std::span<const uint8_t>(short_header).first(1));
    SendUdp(long_field);
    SendUdp(short_field);
    // A sound message after each batch still arrives.
    SendUdp(CancelMessage());
    ++expected_control;
    ASSERT_TRUE(control_.WaitFor(expected_control)) << "type " << type;
  }
  // Larger than any message: dropped unread.
  std::vector<uint8_t> oversized(40000, 0);
  oversized[0] = 0x11;
  oversized[1] = 0x34;
  SendUdp(oversized);
  SendUdp(CancelMessage());
  ++expected_control;
  // One receive thread takes the datagrams in order: once the last one sent has been
  // handled, so has everything before it.
  ASSERT_TRUE(control_.WaitFor(expected_control));
  EXPECT_EQ(control_.seen().size(), expected_control);
  EXPECT_TRUE(media_.seen().empty());
}

// Sound headers whose fields are too short reach the media channel, which drops them; a
// valid probe afterwards is still answered.
TEST(TransportMediaTest, ShortMediaMessagesAreDroppedByTheChannelAndProbesStillAnswered) {
  FakeWindow window;
  RecordingHandler control;
  PeerLink peer;
  CallFlags call;
  call.in_call = true;
  auto decoder = std::make_unique<DecoderState>();
  ASSERT_EQ(DecoderOpen(*decoder), 0);
  KeyframeRequests keyframes;
  MediaReceiveCounters counters;
  Transport transport(window);
  MediaChannel channel(
      MediaChannelContext{transport, peer, call, *decoder, keyframes, counters, window});
  ASSERT_TRUE(transport.Start(TransportConfig{kLoopback, 0, 0}, control, channel));
  UniqueFd client = TestSocket(SOCK_DGRAM, 2000);
  peer.Set(NetAddress{kLoopback, LocalPort(client.get())});
  sockaddr_in to = Loopback(transport.udp_port());
  auto send = [&](std::span<const uint8_t> bytes) {
    sendto(client.get(), bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to),
           sizeof to);
  };
  for (uint8_t type : std::array<uint8_t, 4>{33, 34, 35, 49}) {
    for (uint8_t length = 6; length < 12; ++length) {
      std::vector<uint8_t> message(length, 0xEE);
      message[0] = 0x11;
      message[1] = type;
      message[2] = length;
      message[3] = 0;
      send(message);
    }
  }
  // A VideoData whose count claims more than arrived.
  std::vector<uint8_t> video = {0x11, 0x31, 0x0E, 0x00, 0x01, 0x00, 0x7F,
                                0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x01};
  send(video);
  std::array<uint8_t, kRttProbeReqBytes> probe{};
  BuildRttProbeReq(probe, {77, 1234});
  send(probe);
  std::array<uint8_t, 64> reply{};
  ssize_t n = 0;
  do {
    n = recv(client.get(), reply.data(), reply.size(), 0);
  } while (n > 0 && reply[1] != 0x23);  // PacketLoss reports come back for the short videos
  ASSERT_EQ(n, static_cast<ssize_t>(kRttProbeRspBytes));
  auto answer = ParseRttProbeRsp(std::span<const uint8_t>(reply.data(), kRttProbeRspBytes));
  ASSERT_TRUE(answer.has_value());
  EXPECT_EQ(answer->probe_number, 77);
  EXPECT_EQ(answer->tick_ms, 1234u);
  EXPECT_TRUE(control.seen().empty());
  transport.Stop();
  DecoderClose(*decoder);
}

TEST_F(TransportTest, ControlSessionsOnTcpAreReceiveOnly) {
  UniqueFd session = TestSocket(SOCK_STREAM, 2000);
  sockaddr_in to = Loopback(transport_.tcp_port());
  ASSERT_EQ(connect(session.get(), reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
  auto send_and_wait = [&](std::span<const uint8_t> bytes, RecordingHandler& handler,
                           size_t count) {
    ASSERT_EQ(send(session.get(), bytes.data(), bytes.size(), 0),
              static_cast<ssize_t>(bytes.size()));
    ASSERT_TRUE(handler.WaitFor(count));
  };
  std::array<uint8_t, kPacketLossBytes> loss{};
  BuildPacketLoss(loss, {4, 3});
  send_and_wait(loss, media_, 1);
  EXPECT_EQ(media_.seen()[0].channel, Channel::kTcp);

  // Video and probes are not taken from a control session: a diagnostic line, no box.
  testing::DiagCapture diagnostics;
  auto video = testing::EmptyVideoDatagram(1);
  ASSERT_EQ(send(session.get(), video.data(), video.size(), 0), 10);
  ASSERT_TRUE(diagnostics.WaitForText("Undefined Message Type (49) in TCP Socket"));
  EXPECT_TRUE(window_.Boxes().empty());
  EXPECT_EQ(media_.seen().size(), 1u);

  // Wrong version: written to the diagnostics only, the session goes on.
  const std::vector<uint8_t> wrong = {0x10, 0x01, 0x06, 0x00, 0x00, 0x00};
  ASSERT_EQ(send(session.get(), wrong.data(), wrong.size(), 0), 6);
  ASSERT_TRUE(diagnostics.WaitForText("Undefined Receiving Data (ver=0x10,type=0x1)"));

  std::vector<uint8_t> release(kCallMessageBytes, 0);
  release[0] = 0x11;
  release[1] = 0x11;  // CallReleaseReq
  release[2] = kCallMessageBytes;
  send_and_wait(release, control_, 1);
  EXPECT_EQ(control_.seen()[0].channel, Channel::kTcp);
  EXPECT_EQ(control_.seen()[0].from.ipv4, kLoopback);
  EXPECT_EQ(transport_.session_peer().port, LocalPort(session.get()));

  // A release ends the session: the peer sees the close, nothing was ever sent back.
  std::array<uint8_t, 16> buffer{};
  EXPECT_EQ(recv(session.get(), buffer.data(), buffer.size(), 0), 0);
}

TEST(TransportStartTest, BusyPortsAreShownAndStartUpGoesOn) {
  UniqueFd udp_holder = TestSocket(SOCK_DGRAM, 2000);
  UniqueFd tcp_holder(socket(AF_INET, SOCK_STREAM, 0));
  sockaddr_in tcp_address = Loopback(0);
  ASSERT_EQ(bind(tcp_holder.get(), reinterpret_cast<sockaddr*>(&tcp_address), sizeof tcp_address),
            0);
  ASSERT_EQ(listen(tcp_holder.get(), 1), 0);

  FakeWindow window;
  RecordingHandler control;
  RecordingHandler media;
  Transport transport(window);
  EXPECT_TRUE(transport.Start(
      TransportConfig{kLoopback, LocalPort(udp_holder.get()), LocalPort(tcp_holder.get())}, control,
      media));
  EXPECT_FALSE(transport.udp_open());
  EXPECT_FALSE(transport.tcp_open());
  auto boxes = window.Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "TCP Binding Error");
  EXPECT_EQ(boxes[0].caption, "");
  EXPECT_EQ(boxes[1].text, "UDP Binding Error");
  EXPECT_EQ(boxes[1].caption, "");
  EXPECT_FALSE(transport.SendTo(CancelMessage(), NetAddress{kLoopback, 9}));
  transport.Stop();
}

TEST(TransportStartTest, StopJoinsEveryThreadAndARestartWorks) {
  FakeWindow window;
  RecordingHandler control;
  RecordingHandler media;
  Transport transport(window);
  UniqueFd client = TestSocket(SOCK_DGRAM, 2000);
  for (int round = 0; round < 5; ++round) {
    ASSERT_TRUE(transport.Start(TransportConfig{kLoopback, 0, 0}, control, media));
    // An idle control session is open when the stop comes.
    UniqueFd session = TestSocket(SOCK_STREAM, 2000);
    sockaddr_in tcp = Loopback(transport.tcp_port());
    ASSERT_EQ(connect(session.get(), reinterpret_cast<sockaddr*>(&tcp), sizeof tcp), 0);
    auto message = CancelMessage();
    sockaddr_in udp = Loopback(transport.udp_port());
    sendto(client.get(), message.data(), message.size(), 0, reinterpret_cast<sockaddr*>(&udp),
           sizeof udp);
    ASSERT_TRUE(control.WaitFor(static_cast<size_t>(round + 1)));
    transport.Stop();
    EXPECT_FALSE(transport.udp_open());
  }
  EXPECT_TRUE(window.Boxes().empty());
}

TEST_F(TransportTest, SendsWholeMessagesFromTheUdpSocket) {
  auto message = CancelMessage();
  EXPECT_TRUE(transport_.SendTo(message, NetAddress{kLoopback, LocalPort(client_.get())}));
  std::array<uint8_t, 16> buffer{};
  sockaddr_in from{};
  socklen_t from_length = sizeof from;
  ASSERT_EQ(recvfrom(client_.get(), buffer.data(), buffer.size(), 0,
                     reinterpret_cast<sockaddr*>(&from), &from_length),
            6);
  EXPECT_EQ(ntohs(from.sin_port), transport_.udp_port());
  EXPECT_TRUE(std::equal(message.begin(), message.end(), buffer.begin()));
}

}  // namespace
}  // namespace kestrelio
