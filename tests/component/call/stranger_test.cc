// A stranger at a third loopback address (127.0.0.3) against one handset's signalling on
// a real UDP socket, beside a scripted presence server and the real peer (both on
// 127.0.0.1): what the stranger sends is counted and dropped, what it writes into a
// message never becomes a destination, its flood of calls leaves the threads bounded,
// and a box a message causes never holds the UDP thread.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include "net/transport/transport.h"
#include "tests/support/call_harness.h"
#include "tests/support/loopback_socket.h"

namespace kestrelio {
namespace {

using testing::CallHarness;
using testing::HandsetConfig;
using testing::WaitFor;

constexpr uint32_t kLoopback = 0x7F000001;
constexpr uint32_t kStranger = 0x7F000003;
constexpr uint32_t kThirdParty = 0x7F000004;

// One UDP socket on an ephemeral port of `address`.
class Party {
 public:
  explicit Party(uint32_t address)
      : address_(address),
        fd_(testing::TestSocket(SOCK_DGRAM, 200, address)),
        port_(testing::LocalPort(fd_.get())) {}
  NetAddress address() const { return {address_, port_}; }
  void Send(std::span<const uint8_t> message, uint16_t port) const {
    const sockaddr_in to = testing::Loopback(port);
    sendto(fd_.get(), message.data(), message.size(), 0, reinterpret_cast<const sockaddr*>(&to),
           sizeof to);
  }
  // Every datagram that arrives within the receive time-out of each other.
  std::vector<std::vector<uint8_t>> Drain() const {
    std::vector<std::vector<uint8_t>> got;
    for (;;) {
      std::vector<uint8_t> buffer(kMaxMessageBytes);
      const ssize_t n = recv(fd_.get(), buffer.data(), buffer.size(), 0);
      if (n <= 0) return got;
      buffer.resize(static_cast<size_t>(n));
      got.push_back(std::move(buffer));
    }
  }

 private:
  uint32_t address_;
  UniqueFd fd_;
  uint16_t port_ = 0;
};

class NullMedia : public MediaMessageHandler {
 public:
  void OnMediaMessage(const ReceivedMessage&) override {}
};

std::vector<uint8_t> ConnectInd(bool caller, const NetAddress& peer, const std::string& number) {
  CallConnectFields fields;
  fields.role = caller ? 1 : 0;
  fields.peer.phone.Assign(number);
  fields.peer.local_address = DottedAddress(peer.ipv4).c_str();
  fields.peer.local_port = peer.port;
  fields.peer.public_address = DottedAddress(peer.ipv4).c_str();
  fields.peer.public_port = peer.port;
  fields.own_public_address = "127.0.0.1";
  fields.note = "trust";
  std::vector<uint8_t> out(kCallConnectIndBytes);
  out.resize(BuildCallConnectInd(out, fields));
  return out;
}

std::vector<uint8_t> SetupReq(uint16_t call_id, const NetAddress& written) {
  CallSetupFields fields;
  fields.call_id = call_id;
  fields.phone = "12065550199";
  fields.public_address = DottedAddress(written.ipv4).c_str();
  fields.public_port = written.port;
  fields.user_name = "Mallory";
  std::vector<uint8_t> out(kCallMessageBytes);
  out.resize(BuildCallSetupReq(out, fields));
  return out;
}

std::vector<uint8_t> Answer(MessageType type) {
  AnswerFields fields;
  fields.type = type;
  fields.phone = "12065550111";
  fields.user_name = "Bob";
  std::vector<uint8_t> out(kCallMessageBytes);
  out.resize(BuildCallAnswer(out, fields));
  return out;
}

std::vector<uint8_t> Chat(std::u16string_view line) {
  std::vector<uint8_t> out(kHeaderBytes + 200);
  out.resize(BuildChatText(out, line));
  return out;
}

class StrangerTest : public ::testing::Test {
 protected:
  StrangerTest()
      : calls(HandsetConfig{"AAAAAAAAAAAAAAAAAAAA", "12065550100", "Alice", "127.0.0.1",
                            presence.address()}),
        transport(calls.window) {
    calls.sender.forward_ = [this](std::span<const uint8_t> message, const NetAddress& to) {
      return transport.SendTo(message, to);
    };
    started = transport.Start(TransportConfig{0, 0, 0}, calls.service->handler(), media);
  }
  ~StrangerTest() override {
    calls.service->Shutdown();
    transport.Stop();
  }
  uint16_t port() const { return transport.udp_port(); }
  // A chat line from the real peer: once it shows, everything sent before it was read.
  void Barrier(std::u16string_view line, size_t lines) {
    peer.Send(Chat(line), port());
    ASSERT_TRUE(WaitFor([&] { return calls.service->ChatLines().size() == lines; }));
  }
  // The server pairs this handset (callee) with the real peer; the call is accepted.
  void StartCallWithPeer() {
    presence.Send(ConnectInd(false, peer.address(), "12065550111"), port());
    ASSERT_TRUE(WaitFor([&] { return calls.peer_link.Named(); }));
    calls.service->control().StartOfCall("12065550111");
  }

  Party presence{kLoopback};
  Party peer{kLoopback};
  Party stranger{kStranger};
  Party third{kThirdParty};
  CallHarness calls;
  NullMedia media;
  Transport transport;
  bool started = false;
};

TEST_F(StrangerTest, SpoofedConnectAndAcceptanceStartNoCall) {
  ASSERT_TRUE(started);
  // As if it were the server, then as if it were the callee answering.
  stranger.Send(ConnectInd(true, stranger.address(), "12065550199"), port());
  stranger.Send(Answer(MessageType::kCallAcceptRsp), port());
  // Even from the server's address a caller-role connect needs a request of ours.
  presence.Send(ConnectInd(true, stranger.address(), "12065550199"), port());
  ASSERT_TRUE(WaitFor([&] { return calls.service->signalling().drops().not_requested == 1u; }));
  stranger.Send(Answer(MessageType::kCallAcceptRsp), port());
  ASSERT_TRUE(WaitFor([&] { return calls.service->signalling().drops().not_peer == 2u; }));
  EXPECT_EQ(calls.service->signalling().drops().not_server.load(), 1u);
  EXPECT_FALSE(calls.call_flags.in_call);
  EXPECT_EQ(calls.devices.encoder_starts, 0);  // no video would go out
  EXPECT_EQ(calls.service->signalling().threads_started(), 0);
  EXPECT_TRUE(calls.sender.SentOfType(MessageType::kCallSetupReq).empty());
  EXPECT_TRUE(calls.CallLog().empty());
  EXPECT_TRUE(calls.History().empty());
  EXPECT_TRUE(stranger.Drain().empty());
}

TEST_F(StrangerTest, AStrangerCannotSpeakIntoOrEndARunningCall) {
  ASSERT_TRUE(started);
  StartCallWithPeer();
  Barrier(u"first", 1);
  std::vector<uint8_t> release(kCallMessageBytes);
  release.resize(BuildCallReleaseReq(release));
  std::vector<uint8_t> cancel(kHeaderBytes);
  cancel.resize(BuildCallCancelReq(cancel));
  std::vector<uint8_t> pause(kVideoPauseIndBytes);
  BuildVideoPauseInd(pause, true);
  stranger.Send(Chat(u"spoofed"), port());
  stranger.Send(pause, port());
  stranger.Send(release, port());
  for (int i = 0; i < 5; ++i) stranger.Send(cancel, port());
  stranger.Send(Answer(MessageType::kCallCancelReq), port());
  Barrier(u"second", 2);

  EXPECT_TRUE(calls.call_flags.in_call);
  EXPECT_FALSE(calls.view_flags.peer_video_paused);
  auto lines = calls.service->ChatLines();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) { return l.find("spoofed") != l.npos; }),
            0);
  EXPECT_EQ(calls.service->signalling().drops().not_peer.load(), 9u);
  calls.ShowNotices();
  EXPECT_TRUE(calls.window.Boxes().empty());
  EXPECT_TRUE(calls.CallLog().empty());  // no end of call, no cancelled record
  EXPECT_TRUE(calls.History().empty());
}

TEST_F(StrangerTest, AFloodOfCallsFromAStrangerDuringACallLeavesNoThreadsAndNoLines) {
  ASSERT_TRUE(started);
  StartCallWithPeer();
  const int threads_before = calls.service->signalling().threads_started();  // the set-up
  for (int i = 0; i < 3000; ++i) {
    stranger.Send(SetupReq(static_cast<uint16_t>(i), third.address()), port());
    if (i % 50 == 49) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  Barrier(u"after the flood", 1);
  const uint32_t dropped = calls.service->signalling().drops().not_peer.load();
  const int threads = calls.service->signalling().threads_started() - threads_before;
  std::printf("flood during a call: %u of 3000 requests read and dropped, %d threads\n", dropped,
              threads);
  EXPECT_GT(dropped, 0u);
  EXPECT_EQ(threads, 0);
  EXPECT_TRUE(calls.History().empty());
  EXPECT_TRUE(calls.CallLog().empty());
  EXPECT_TRUE(stranger.Drain().empty());
  EXPECT_TRUE(third.Drain().empty());
}

TEST_F(StrangerTest, AFloodOfCallsWithNoPeerNamedIsBoundedAndNeverReflected) {
  ASSERT_TRUE(started);
  calls.window.HoldBoxes(kConnectionCaption);  // the first prompt stays open
  int most_running = 0;
  auto handled = [&] {
    return calls.service->signalling().drops().incoming_turned_away.load() +
           static_cast<uint32_t>(calls.service->signalling().threads_started());
  };
  for (int i = 0; i < 3000; ++i) {
    stranger.Send(SetupReq(static_cast<uint16_t>(1000 + i), third.address()), port());
    most_running = std::max(most_running, calls.service->signalling().incoming_running());
    // The flood stays a few dozen requests ahead of the handset, never so far that
    // the socket's receive buffer overflows (a slow, instrumented build reads slowly).
    if (i % 20 == 19) {
      WaitFor([&] { return handled() + 40 >= static_cast<uint32_t>(i); }, 5000);
    }
  }
  ASSERT_TRUE(WaitFor([&] { return handled() >= 2900u; }, 10000)) << handled();
  const int threads = calls.service->signalling().threads_started();
  const uint32_t turned_away = calls.service->signalling().drops().incoming_turned_away.load();
  const size_t history = calls.History().size();
  std::printf(
      "flood with no peer named: %d threads started, at most %d at once, %u turned away, "
      "%zu history lines\n",
      threads, most_running, turned_away, history);
  EXPECT_LE(most_running, kMaxIncomingCalls);
  EXPECT_GT(turned_away, 2000u);
  EXPECT_LE(history, static_cast<size_t>(threads));
  // Every answer went back to the stranger's own socket, none to the address it wrote.
  EXPECT_TRUE(third.Drain().empty());
  ASSERT_TRUE(calls.window.ReleaseBox(kConnectionCaption, MessageBoxResult::kNo));
}

TEST_F(StrangerTest, APeerCausedBoxDoesNotHoldTheUdpThread) {
  ASSERT_TRUE(started);
  // This handset calls the peer; the server answers busy.
  calls.service->signalling().SendCallRequest("12065550111");
  calls.window.HoldBoxes("UDP Connection");
  presence.Send(Answer(MessageType::kCallBusyRsp), port());
  ASSERT_TRUE(WaitFor([&] { return calls.window.IsTimerRunning(kTimerShowNotices); }));
  // The GUI thread shows the box and waits in it.
  std::thread gui([&] { calls.ShowNotices(); });
  ASSERT_TRUE(calls.window.WaitForHeldBox("UDP Connection", 5000));
  // Meanwhile the UDP thread goes on: the server's list page is taken in.
  UserListFields page;
  page.public_address = "127.0.0.1";
  page.total = page.entry_count = 1;
  page.entries[0] = UserListEntry{1, "12065550111", "Bob"};
  std::vector<uint8_t> list(kMaxMessageBytes);
  list.resize(BuildUserListInd(list, page));
  presence.Send(list, port());
  EXPECT_TRUE(WaitFor([&] { return calls.online_db.Lookup("12065550111").has_value(); }));
  ASSERT_TRUE(calls.window.ReleaseBox("UDP Connection", MessageBoxResult::kOk));
  gui.join();
  ASSERT_EQ(calls.BoxesWithCaption("UDP Connection").size(), 1u);
  EXPECT_EQ(calls.BoxesWithCaption("UDP Connection")[0].text,
            "The line is busy. Please try again later.");
}

}  // namespace
}  // namespace kestrelio
