// TCP control sessions on a live transport: framing across reads, a length that cannot
// be framed, silence, the bound on sessions read at once, and the call socket with its
// saved one (swap on accept, close, forget, restore).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "net/socket/unique_fd.h"
#include "net/transport/transport.h"
#include "net/wire/header.h"
#include "tests/support/diag_capture.h"
#include "tests/support/fake_window.h"
#include "tests/support/loopback_socket.h"
#include "tests/support/wait.h"

namespace kestrelio {
namespace {

using testing::LocalPort;

using testing::WaitFor;

constexpr uint32_t kLoopback = 0x7F000001;

class SessionRecorder : public ControlMessageHandler, public MediaMessageHandler {
 public:
  struct Seen {
    uint8_t type;
    size_t size;
    uint8_t last_byte;
    uint16_t from_port;
  };
  void OnControlMessage(const ReceivedMessage& message) override {
    std::lock_guard lock(mutex_);
    seen_.push_back(Seen{message.header.type, message.datagram.size(), message.datagram.back(),
                         message.from.port});
  }
  void OnMediaMessage(const ReceivedMessage&) override {}
  void OnSessionEnded() override { ended++; }
  std::vector<Seen> seen() const {
    std::lock_guard lock(mutex_);
    return seen_;
  }
  std::atomic<int> ended{0};

 private:
  mutable std::mutex mutex_;
  std::vector<Seen> seen_;
};

// A message of `type` and `length` whose last byte is `mark`.
std::vector<uint8_t> Message(uint8_t type, size_t length, uint8_t mark = 0) {
  std::vector<uint8_t> bytes(length, 0);
  bytes[0] = kWireVersion;
  bytes[1] = type;
  bytes[2] = static_cast<uint8_t>(length & 0xFF);
  bytes[3] = static_cast<uint8_t>(length >> 8);
  bytes.back() = mark;
  return bytes;
}

// Chat lines end no session; 51 (VideoPauseInd) neither.
std::vector<uint8_t> Pause(uint8_t mark) { return Message(51, 7, mark); }

class ControlSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (idle_scale_ != nullptr) setenv("KESTRELIO_TIMER_SCALE", idle_scale_, 1);
    ASSERT_TRUE(transport_.Start(TransportConfig{kLoopback, 0, 0}, handler_, handler_));
    ASSERT_TRUE(transport_.tcp_open());
  }
  void TearDown() override {
    transport_.Stop();
    unsetenv("KESTRELIO_TIMER_SCALE");
  }

  // A connected client; waits until the transport has accepted it.
  UniqueFd Connect() {
    UniqueFd fd(socket(AF_INET, SOCK_STREAM, 0));
    timeval timeout{5, 0};
    setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(kLoopback);
    to.sin_port = htons(transport_.tcp_port());
    EXPECT_EQ(connect(fd.get(), reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    return fd;
  }
  UniqueFd ConnectAccepted() {
    UniqueFd fd = Connect();
    const uint16_t port = LocalPort(fd.get());
    EXPECT_TRUE(WaitFor([&] { return transport_.session_peer().port == port; }));
    return fd;
  }
  static void Send(int fd, std::span<const uint8_t> bytes) {
    ASSERT_EQ(send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
  }
  // The far end sees the session closed (or reset).
  static bool SeesClose(int fd) {
    uint8_t byte = 0;
    return recv(fd, &byte, 1, 0) <= 0;
  }
  bool WaitForMessages(size_t count) {
    return WaitFor([&] { return handler_.seen().size() >= count; });
  }

  const char* idle_scale_ = nullptr;
  FakeWindow window_;
  SessionRecorder handler_;
  Transport transport_{window_};
};

TEST_F(ControlSessionTest, MessagesAreFramedByTheirLengthAcrossAndWithinReads) {
  UniqueFd client = ConnectAccepted();
  const auto setup = Message(1, 106, 0x61);
  // Split inside the header and again inside the body, with pauses so that the pieces
  // arrive in separate reads.
  Send(client.get(), std::span(setup).first(3));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  Send(client.get(), std::span(setup).subspan(3, 50));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  Send(client.get(), std::span(setup).subspan(53));
  ASSERT_TRUE(WaitForMessages(1));
  // Three messages in one write.
  std::vector<uint8_t> three;
  for (uint8_t mark : std::vector<uint8_t>{0x71, 0x72, 0x73}) {
    auto pause = Pause(mark);
    three.insert(three.end(), pause.begin(), pause.end());
  }
  Send(client.get(), three);
  ASSERT_TRUE(WaitForMessages(4));
  auto seen = handler_.seen();
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0].type, 1);
  EXPECT_EQ(seen[0].size, 106u);
  EXPECT_EQ(seen[0].last_byte, 0x61);
  for (size_t i = 1; i < 4; ++i) {
    EXPECT_EQ(seen[i].type, 51);
    EXPECT_EQ(seen[i].size, 7u);
    EXPECT_EQ(seen[i].last_byte, static_cast<uint8_t>(0x70 + i));
    EXPECT_EQ(seen[i].from_port, LocalPort(client.get()));
  }
  EXPECT_EQ(handler_.ended, 0);
}

TEST_F(ControlSessionTest, ALengthThatCannotBeFramedClosesTheSession) {
  testing::DiagCapture diagnostics;
  UniqueFd client = ConnectAccepted();
  // A sound message, then a header claiming 4 bytes, then one that would be read.
  std::vector<uint8_t> bytes = Pause(1);
  const std::vector<uint8_t> bad = {kWireVersion, 0x01, 0x04, 0x00, 0x00, 0x00};
  bytes.insert(bytes.end(), bad.begin(), bad.end());
  auto after = Pause(2);
  bytes.insert(bytes.end(), after.begin(), after.end());
  Send(client.get(), bytes);
  EXPECT_TRUE(SeesClose(client.get()));
  EXPECT_TRUE(diagnostics.WaitForText("sent a message length of 4; session closed"));
  ASSERT_TRUE(WaitFor([&] { return handler_.ended.load() == 1; }));
  ASSERT_EQ(handler_.seen().size(), 1u);
  EXPECT_EQ(handler_.seen()[0].last_byte, 1);
  // Closed by the handset: it is no longer the call socket.
  EXPECT_FALSE(transport_.has_call_socket());

  // Longer than any message.
  UniqueFd second = ConnectAccepted();
  const std::vector<uint8_t> huge = {kWireVersion, 0x01, 0x01, 0x80, 0x00, 0x00};  // 32769
  Send(second.get(), huge);
  EXPECT_TRUE(SeesClose(second.get()));
  EXPECT_TRUE(diagnostics.WaitForText("length of 32769"));
}

TEST_F(ControlSessionTest, ForeignBytesAreReportedAndTheSessionGoesOn) {
  testing::DiagCapture diagnostics;
  UniqueFd client = ConnectAccepted();
  const std::vector<uint8_t> foreign = {0x10, 0x01, 0x06, 0x00, 0x00, 0x00};
  Send(client.get(), foreign);
  ASSERT_TRUE(diagnostics.WaitForText("Undefined Receiving Data (ver=0x10,type=0x1)"));
  Send(client.get(), Pause(9));
  ASSERT_TRUE(WaitForMessages(1));
  EXPECT_EQ(handler_.seen()[0].last_byte, 9);
}

TEST_F(ControlSessionTest, ASessionThatEndsByItselfStaysTheCallSocketUntilClosed) {
  UniqueFd client = ConnectAccepted();
  EXPECT_TRUE(transport_.has_call_socket());
  Send(client.get(), Message(17, 106));  // CallReleaseReq ends a session
  EXPECT_TRUE(SeesClose(client.get()));
  ASSERT_TRUE(WaitFor([&] { return handler_.ended.load() == 1; }));
  ASSERT_TRUE(WaitFor(
      [&] { return transport_.open_sessions() == 0u; }));  // the reader leaves after it reports
  // Nothing has closed or forgotten it: the answer to an unanswered prompt still says
  // that a session is open.
  EXPECT_TRUE(transport_.has_call_socket());
  transport_.CloseCallSocket();
  EXPECT_FALSE(transport_.has_call_socket());
  EXPECT_EQ(handler_.ended, 1);  // its end was reported once
}

TEST_F(ControlSessionTest, EachAcceptSavesTheCurrentCallSocketAndRestoreBringsItBack) {
  EXPECT_FALSE(transport_.has_call_socket());
  EXPECT_EQ(transport_.session_peer(), NetAddress{});
  UniqueFd first = ConnectAccepted();
  UniqueFd second = ConnectAccepted();
  const uint16_t first_port = LocalPort(first.get());
  const uint16_t second_port = LocalPort(second.get());
  EXPECT_EQ(transport_.session_peer().port, second_port);

  // Closing closes the current one only; the saved one reads on.
  transport_.CloseCallSocket();
  EXPECT_FALSE(transport_.has_call_socket());
  EXPECT_TRUE(SeesClose(second.get()));
  Send(first.get(), Pause(1));
  ASSERT_TRUE(WaitForMessages(1));

  // Restore makes the saved socket and its peer address current again.
  transport_.RestoreSavedCallSocket();
  EXPECT_TRUE(transport_.has_call_socket());
  EXPECT_EQ(transport_.session_peer().port, first_port);
  transport_.CloseCallSocket();
  EXPECT_TRUE(SeesClose(first.get()));
  // A socket once closed is never made current again.
  transport_.RestoreSavedCallSocket();
  EXPECT_FALSE(transport_.has_call_socket());

  // Forget leaves none current but does not close: the session reads on.
  UniqueFd third = ConnectAccepted();
  transport_.ForgetCallSocket();
  EXPECT_FALSE(transport_.has_call_socket());
  Send(third.get(), Pause(3));
  ASSERT_TRUE(WaitForMessages(2));
  EXPECT_EQ(handler_.seen()[1].from_port, LocalPort(third.get()));
  // The next accept saves "none" (with the forgotten session's peer address, which a
  // forget leaves): a restore then leaves none current.
  UniqueFd fourth = ConnectAccepted();
  transport_.RestoreSavedCallSocket();
  EXPECT_FALSE(transport_.has_call_socket());
  EXPECT_EQ(transport_.session_peer().port, LocalPort(third.get()));
}

TEST_F(ControlSessionTest, NoMoreThanEightSessionsAreReadAndTheNextWaitsForASlot) {
  std::vector<UniqueFd> idle;
  for (size_t i = 0; i < kMaxTcpSessions; ++i) idle.push_back(ConnectAccepted());
  ASSERT_TRUE(WaitFor([&] { return transport_.open_sessions() == kMaxTcpSessions; }));
  // The ninth connects (the listen queue takes it) but is not read while all are taken.
  UniqueFd ninth = Connect();
  Send(ninth.get(), Pause(9));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_TRUE(handler_.seen().empty());
  EXPECT_EQ(transport_.open_sessions(), kMaxTcpSessions);
  // One of the eight goes away: the ninth is taken and its message read.
  idle.front().Reset();
  ASSERT_TRUE(WaitForMessages(1));
  EXPECT_EQ(handler_.seen()[0].from_port, LocalPort(ninth.get()));
  EXPECT_LE(transport_.open_sessions(), kMaxTcpSessions);
}

class IdleSessionTest : public ControlSessionTest {
 protected:
  IdleSessionTest() { idle_scale_ = "0.01"; }  // 30 s of silence become 300 ms
};

TEST_F(IdleSessionTest, ASilentSessionIsClosedAndNoLongerTheCallSocket) {
  testing::DiagCapture diagnostics;
  UniqueFd client = ConnectAccepted();
  EXPECT_TRUE(SeesClose(client.get()));
  EXPECT_TRUE(diagnostics.WaitForText("silent for 300 ms; session closed"));
  ASSERT_TRUE(WaitFor([&] { return handler_.ended.load() == 1; }));
  EXPECT_FALSE(transport_.has_call_socket());
}

TEST_F(IdleSessionTest, EightIdleSessionsDoNotKeepARealOneOut) {
  std::vector<UniqueFd> idle;
  for (size_t i = 0; i < kMaxTcpSessions; ++i) idle.push_back(ConnectAccepted());
  UniqueFd real = Connect();
  Send(real.get(), Pause(7));
  ASSERT_TRUE(WaitForMessages(1));
  EXPECT_EQ(handler_.seen()[0].from_port, LocalPort(real.get()));
  for (auto& fd : idle) EXPECT_TRUE(SeesClose(fd.get()));
}

}  // namespace
}  // namespace kestrelio
