// The UDP socket on loopback: bind results, whole and oversized datagrams, send results
// for addresses that cannot be reached, and a closed socket.
#include "net/socket/udp_socket.h"

#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <numeric>
#include <vector>

#include "net/socket/unique_fd.h"

namespace kestrelio {
namespace {

constexpr uint32_t kLoopback = 0x7F000001;
constexpr int kWaitMs = 2000;

TEST(UdpSocketTest, BindsToAFreePortAndReportsIt) {
  UdpSocket socket;
  const BindResult bound = socket.Open(NetAddress{kLoopback, 0});
  ASSERT_TRUE(bound.ok());
  EXPECT_EQ(bound.error, 0);
  EXPECT_TRUE(socket.is_open());
  EXPECT_NE(socket.bound_port(), 0);
  EXPECT_EQ(socket.local_address().ipv4, kLoopback);
  EXPECT_EQ(socket.local_address().port, socket.bound_port());
}

TEST(UdpSocketTest, APortInUseIsReportedAsSuch) {
  UdpSocket holder(NetAddress{kLoopback, 0});
  ASSERT_TRUE(holder.is_open());
  UdpSocket second;
  const BindResult bound = second.Open(holder.local_address());
  EXPECT_EQ(bound.status, BindStatus::kAddressInUse);
  EXPECT_EQ(bound.error, EADDRINUSE);
  EXPECT_FALSE(second.is_open());
  EXPECT_EQ(second.bind_result().status, BindStatus::kAddressInUse);
  EXPECT_EQ(second.bound_port(), 0);
}

TEST(UdpSocketTest, AnAddressNotOfThisHostCannotBeBound) {
  UdpSocket socket;
  const BindResult bound = socket.Open(NetAddress{0xCB007107, 0});  // 203.0.113.7, TEST-NET-3
  EXPECT_EQ(bound.status, BindStatus::kFailed);
  EXPECT_EQ(bound.error, EADDRNOTAVAIL);
  EXPECT_FALSE(socket.is_open());
}

TEST(UdpSocketTest, SendsAndReceivesAWholeDatagramWithItsSource) {
  UdpSocket a(NetAddress{kLoopback, 0});
  UdpSocket b(NetAddress{kLoopback, 0});
  ASSERT_TRUE(a.is_open() && b.is_open());
  const std::vector<uint8_t> message = {0x11, 0x34, 0x06, 0x00, 0x01, 0x00};
  const SendResult sent = a.Send(message, b.local_address());
  EXPECT_EQ(sent.status, SendStatus::kSent);
  EXPECT_EQ(sent.bytes_sent, message.size());
  EXPECT_TRUE(sent.whole());
  EXPECT_EQ(sent.SendtoReturn(), 6);
  EXPECT_TRUE(a.SendTo(message, b.local_address()));

  std::vector<uint8_t> buffer(64);
  for (int copy = 0; copy < 2; ++copy) {
    const ReceiveResult got = b.Receive(buffer, kWaitMs);
    ASSERT_EQ(got.status, ReceiveStatus::kDatagram);
    EXPECT_EQ(got.size, message.size());
    EXPECT_EQ(got.from, a.local_address());
    EXPECT_TRUE(std::equal(message.begin(), message.end(), buffer.begin()));
  }
}

TEST(UdpSocketTest, ADatagramThatFillsTheBufferExactlyIsWhole) {
  UdpSocket a(NetAddress{kLoopback, 0});
  UdpSocket b(NetAddress{kLoopback, 0});
  std::vector<uint8_t> message(100);
  std::iota(message.begin(), message.end(), uint8_t{0});
  ASSERT_TRUE(a.SendTo(message, b.local_address()));
  std::vector<uint8_t> buffer(100);
  const ReceiveResult got = b.Receive(buffer, kWaitMs);
  EXPECT_EQ(got.status, ReceiveStatus::kDatagram);
  EXPECT_EQ(got.size, 100u);
  EXPECT_EQ(buffer, message);
}

TEST(UdpSocketTest, AnOversizedDatagramIsReportedWithItsRealSizeAndTheNextOneArrives) {
  UdpSocket a(NetAddress{kLoopback, 0});
  UdpSocket b(NetAddress{kLoopback, 0});
  const std::vector<uint8_t> oversized(40000, 0x11);
  ASSERT_TRUE(a.SendTo(oversized, b.local_address()));
  const std::vector<uint8_t> next = {1, 2, 3};
  ASSERT_TRUE(a.SendTo(next, b.local_address()));

  std::vector<uint8_t> buffer(32768);
  const ReceiveResult big = b.Receive(buffer, kWaitMs);
  EXPECT_EQ(big.status, ReceiveStatus::kOversized);
  EXPECT_EQ(big.size, 40000u);
  EXPECT_EQ(big.from, a.local_address());
  const ReceiveResult small = b.Receive(buffer, kWaitMs);
  ASSERT_EQ(small.status, ReceiveStatus::kDatagram);
  EXPECT_EQ(small.size, 3u);

  // One byte over is oversized too.
  ASSERT_TRUE(a.SendTo(std::vector<uint8_t>(33), b.local_address()));
  std::vector<uint8_t> tiny(32);
  const ReceiveResult over_by_one = b.Receive(tiny, kWaitMs);
  EXPECT_EQ(over_by_one.status, ReceiveStatus::kOversized);
  EXPECT_EQ(over_by_one.size, 33u);
}

TEST(UdpSocketTest, NothingWaitingIsNothing) {
  UdpSocket socket(NetAddress{kLoopback, 0});
  std::vector<uint8_t> buffer(16);
  EXPECT_EQ(socket.Receive(buffer, 0).status, ReceiveStatus::kNothing);
  EXPECT_EQ(socket.Receive(buffer, 10).status, ReceiveStatus::kNothing);
}

TEST(UdpSocketTest, AnAddressThatCannotBeReachedIsAFailedSend) {
  UdpSocket socket(NetAddress{kLoopback, 0});
  ASSERT_TRUE(socket.is_open());
  const std::vector<uint8_t> message = {0x11, 0x34, 0x06, 0x00, 0x01, 0x00};
  // From a loopback-bound socket no route leads off the host.
  const SendResult off_host = socket.Send(message, NetAddress{0xCB007107, 8200});
  EXPECT_EQ(off_host.status, SendStatus::kFailed);
  EXPECT_NE(off_host.error, 0);
  EXPECT_EQ(off_host.bytes_sent, 0u);
  EXPECT_EQ(off_host.SendtoReturn(), -1);
  EXPECT_FALSE(socket.SendTo(message, NetAddress{0xCB007107, 8200}));
  // Port 0 is no destination.
  EXPECT_EQ(socket.Send(message, NetAddress{kLoopback, 0}).status, SendStatus::kFailed);
  // Broadcast needs SO_BROADCAST, which this socket never asks for.
  const SendResult broadcast = socket.Send(message, NetAddress{0xFFFFFFFF, 8200});
  EXPECT_EQ(broadcast.status, SendStatus::kFailed);
  EXPECT_EQ(broadcast.error, EACCES);
  // The socket still works afterwards.
  UdpSocket peer(NetAddress{kLoopback, 0});
  EXPECT_TRUE(socket.SendTo(message, peer.local_address()));
}

TEST(UdpSocketTest, AClosedSocketFailsEveryCallWithoutTouchingADescriptor) {
  UdpSocket socket;
  EXPECT_FALSE(socket.is_open());
  const std::vector<uint8_t> message = {1};
  const SendResult sent = socket.Send(message, NetAddress{kLoopback, 9});
  EXPECT_EQ(sent.status, SendStatus::kFailed);
  EXPECT_EQ(sent.error, EBADF);
  std::vector<uint8_t> buffer(16);
  const ReceiveResult got = socket.Receive(buffer, 10);
  EXPECT_EQ(got.status, ReceiveStatus::kFailed);
  EXPECT_EQ(got.error, EBADF);
  EXPECT_EQ(socket.local_address(), NetAddress{});

  socket.Open(NetAddress{kLoopback, 0});
  ASSERT_TRUE(socket.is_open());
  socket.Close();
  EXPECT_FALSE(socket.is_open());
  EXPECT_EQ(socket.Send(message, NetAddress{kLoopback, 9}).error, EBADF);
}

TEST(UdpSocketTest, ReopeningClosesTheFirstSocket) {
  UdpSocket socket(NetAddress{kLoopback, 0});
  const NetAddress first = socket.local_address();
  ASSERT_TRUE(socket.Open(NetAddress{kLoopback, 0}).ok());
  // The first port is free again: another socket can take it.
  UdpSocket other;
  EXPECT_TRUE(other.Open(first).ok());
}

TEST(SendResultTest, AShortSendIsNotWholeAndShowsItsCount) {
  const SendResult short_send = SendResult::Short(5);
  EXPECT_FALSE(short_send.whole());
  EXPECT_EQ(short_send.SendtoReturn(), 5);
  EXPECT_EQ(SendResult::Failed(EIO).SendtoReturn(), -1);
  EXPECT_TRUE(SendResult::Sent(0).whole());
}

TEST(WaitReadableTest, ReturnsForTheSocketOrTheWakeDescriptor) {
  UdpSocket a(NetAddress{kLoopback, 0});
  UdpSocket b(NetAddress{kLoopback, 0});
  UniqueFd wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  ASSERT_TRUE(wake.valid());
  ASSERT_TRUE(a.SendTo(std::vector<uint8_t>{7}, b.local_address()));
  EXPECT_EQ(WaitReadable(b.fd(), wake.get()), WaitStatus::kReadable);
  const uint64_t one = 1;
  ASSERT_EQ(write(wake.get(), &one, sizeof one), static_cast<ssize_t>(sizeof one));
  // The wake wins over a readable socket: a stop is never held up by traffic.
  EXPECT_EQ(WaitReadable(b.fd(), wake.get()), WaitStatus::kWoken);
}

}  // namespace
}  // namespace kestrelio
