// One handset's call code on its real transport (UDP socket and control-session listener
// on loopback) with a TCP control session held open by a far end, while a caller's
// CallSetupReq arrives by UDP: for each end of the prompt (Yes, No, the prompt timer, the
// caller's cancel, no prompt during a call) the answer sent, the call log record, the
// history lines, and what became of the session.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>
#include <vector>

#include "net/signalling/transport_sessions.h"
#include "net/socket/unique_fd.h"
#include "net/transport/transport.h"
#include "tests/support/call_harness.h"
#include "tests/support/loopback_socket.h"

namespace kestrelio {
namespace {

using testing::LocalPort;
using testing::Loopback;
using testing::TestSocket;

using testing::CallHarness;
using testing::Columns;
using testing::HandsetConfig;
using testing::WaitFor;

constexpr uint32_t kLoopback = 0x7F000001;

class NullMedia : public MediaMessageHandler {
 public:
  void OnMediaMessage(const ReceivedMessage&) override {}
};

// The harness is made before the transport it is to use: this passes the calls on.
class LateSessions : public ControlSessions {
 public:
  bool HasOpenSession() const override { return target->HasOpenSession(); }
  void CloseSession() override { target->CloseSession(); }
  void ForgetSession() override { target->ForgetSession(); }
  void RestoreSavedSession() override { target->RestoreSavedSession(); }
  ControlSessions* target = nullptr;
};

bool IsAnswer(uint8_t type) { return type == 2 || type == 3 || type == 5 || type == 52; }

class ControlSessionPromptTest : public ::testing::Test {
 protected:
  ControlSessionPromptTest() {
    late_.target = &sessions_;
    h_.sender.forward_ = [this](std::span<const uint8_t> message, const NetAddress& to) {
      return transport_.SendTo(message, to);
    };
  }
  void SetUp() override {
    ASSERT_TRUE(transport_.Start(TransportConfig{kLoopback, 0, 0}, h_.service->handler(), media_));
    h_.Connect(/*caller=*/false, "12065550111", "127.0.0.1", LocalPort(caller_.get()));
    // A far end opens a control session and holds it, sending nothing.
    sockaddr_in to = Loopback(transport_.tcp_port());
    ASSERT_EQ(connect(session_.get(), reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    const uint16_t port = LocalPort(session_.get());
    ASSERT_TRUE(WaitFor([&] { return transport_.session_peer().port == port; }));
    ASSERT_TRUE(transport_.has_call_socket());
  }
  void TearDown() override {
    h_.service->Shutdown();
    transport_.Stop();
  }

  // The caller's request, by UDP, as from the caller's socket.
  void SendFromCaller(std::span<const uint8_t> bytes) {
    sockaddr_in to = Loopback(transport_.udp_port());
    ASSERT_EQ(sendto(caller_.get(), bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to),
                     sizeof to),
              static_cast<ssize_t>(bytes.size()));
  }
  void SendSetupReq(uint16_t call_id) {
    CallSetupFields fields;
    fields.call_id = call_id;
    fields.phone = "12065550111";
    fields.public_address = "127.0.0.1";
    fields.public_port = LocalPort(caller_.get());
    fields.user_name = "Bob";
    std::vector<uint8_t> out(kCallMessageBytes);
    out.resize(BuildCallSetupReq(out, fields));
    SendFromCaller(out);
  }
  // The answer the caller receives; acknowledgements and the rest are skipped.
  std::optional<uint8_t> CallerReceivesAnswer() {
    for (int i = 0; i < 50; ++i) {
      std::vector<uint8_t> buffer(kMaxMessageBytes);
      const ssize_t n = recv(caller_.get(), buffer.data(), buffer.size(), 0);
      if (n <= 0) return std::nullopt;
      if (n == static_cast<ssize_t>(kCallMessageBytes) && IsAnswer(buffer[1])) return buffer[1];
    }
    return std::nullopt;
  }
  std::vector<std::string> HistoryAfter(size_t lines) {
    WaitFor([&] { return h_.History().size() >= lines; });
    return h_.History();
  }
  // Records that name an incoming call that was not connected.
  std::vector<std::string> IncomingRecords() {
    std::vector<std::string> out;
    for (auto& line : h_.CallLog()) {
      auto columns = Columns(line);
      if (columns.size() > 2 && columns[1] == "incoming") out.push_back(columns[2]);
    }
    return out;
  }
  // Whether the far end of the control session has been closed on (within a short look).
  bool SessionClosedOnFarEnd() {
    uint8_t byte = 0;
    const ssize_t n = recv(session_.get(), &byte, 1, 0);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
  }
  void ShortenSessionLook() {
    timeval timeout{0, 200000};
    setsockopt(session_.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  }

  LateSessions late_;
  CallHarness h_{HandsetConfig{"BBBBBBBBBBBBBBBBBBBB", "12065550100", "Alice", "127.0.0.1",
                               testing::kPresenceServer, &late_}};
  NullMedia media_;
  Transport transport_{h_.window};
  TransportSessions sessions_{transport_};
  UniqueFd caller_ = TestSocket(SOCK_DGRAM, 5000);
  UniqueFd session_ = TestSocket(SOCK_STREAM, 5000);
};

TEST_F(ControlSessionPromptTest, YesAcceptsAndLeavesTheSessionOpen) {
  h_.window.AnswerBoxes(kConnectionCaption, {MessageBoxResult::kYes});
  SendSetupReq(21);
  EXPECT_EQ(CallerReceivesAnswer(), 2);
  ASSERT_TRUE(WaitFor([&] { return h_.call_flags.in_call.load(); }));
  auto history = HistoryAfter(1);
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].substr(0, 3), "IN ");
  EXPECT_TRUE(IncomingRecords().empty());  // a connected call is logged when it ends
  EXPECT_TRUE(transport_.has_call_socket());
  ShortenSessionLook();
  EXPECT_FALSE(SessionClosedOnFarEnd());
}

TEST_F(ControlSessionPromptTest, NoRejectsLogsTheRefusalAndClosesTheSession) {
  h_.window.AnswerBoxes(kConnectionCaption, {MessageBoxResult::kNo});
  SendSetupReq(22);
  EXPECT_EQ(CallerReceivesAnswer(), 3);
  EXPECT_TRUE(SessionClosedOnFarEnd());
  auto history = HistoryAfter(1);
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].substr(0, 3), "IN ");
  EXPECT_EQ(IncomingRecords(), std::vector<std::string>{"rejected"});
  EXPECT_FALSE(transport_.has_call_socket());
}

TEST_F(ControlSessionPromptTest, ATimedOutPromptClosesTheSessionAndCountsOneMissedCall) {
  h_.window.HoldBoxes(kConnectionCaption);
  SendSetupReq(23);
  ASSERT_TRUE(h_.window.WaitForHeldBox(kConnectionCaption, 5000));
  h_.service->OnTimer(kTimerIncomingPrompt);
  // The timer closed the call socket, so no session is open when the answer is chosen.
  EXPECT_EQ(CallerReceivesAnswer(), 52);
  EXPECT_TRUE(SessionClosedOnFarEnd());
  auto history = HistoryAfter(2);
  ASSERT_EQ(history.size(), 2u);
  EXPECT_EQ(history[0].substr(0, 3), "IN*");  // the timer's line
  EXPECT_EQ(history[1].substr(0, 3), "IN ");  // the answer's line
  EXPECT_EQ(IncomingRecords(), std::vector<std::string>{"missed"});
  EXPECT_EQ(h_.service->Snapshot().missed_calls, 0);  // the unscripted dialog closed
}

TEST_F(ControlSessionPromptTest, ACancelByTheCallerForgetsTheSessionWithoutClosingIt) {
  h_.window.HoldBoxes(kConnectionCaption);
  SendSetupReq(24);
  ASSERT_TRUE(h_.window.WaitForHeldBox(kConnectionCaption, 5000));
  const std::vector<uint8_t> cancel = {0x11, 0x34, 0x06, 0x00, 0x01, 0x00};
  SendFromCaller(cancel);
  EXPECT_EQ(CallerReceivesAnswer(), 52);
  auto history = HistoryAfter(1);
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].substr(0, 3), "IN ");
  EXPECT_EQ(IncomingRecords(), std::vector<std::string>{"cancelled"});
  EXPECT_FALSE(transport_.has_call_socket());
  // Forgotten, not closed: the session is still read.
  ShortenSessionLook();
  EXPECT_FALSE(SessionClosedOnFarEnd());
  EXPECT_EQ(transport_.open_sessions(), 1u);
}

TEST_F(ControlSessionPromptTest, DuringACallTheOpenSessionMakesTheAnswerNoAnswer) {
  h_.call_flags.video_active = true;  // a call runs: no prompt
  SendSetupReq(25);
  EXPECT_EQ(CallerReceivesAnswer(), 5);
  auto history = HistoryAfter(1);
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].substr(0, 3), "IN*");
  EXPECT_EQ(IncomingRecords(), std::vector<std::string>{"missed"});
  EXPECT_TRUE(h_.BoxesWithCaption(kConnectionCaption).empty());
  // The answer closed the session; the socket saved before its accept (none) is
  // current again.
  EXPECT_TRUE(SessionClosedOnFarEnd());
  EXPECT_FALSE(transport_.has_call_socket());
}

}  // namespace
}  // namespace kestrelio
