// Two handsets' call code on real loopback sockets (the transport's UDP socket and
// control-session listener on ephemeral ports), with a scripted presence server and the
// recording window: dial, set-up, prompt, accept, chat, garbage during the call, hang-up.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <random>

#include "net/signalling/transport_sessions.h"
#include "net/transport/transport.h"
#include "tests/support/call_harness.h"

namespace kestrelio {
namespace {

using testing::CallHarness;
using testing::Columns;
using testing::HandsetConfig;
using testing::WaitFor;

constexpr uint32_t kLoopback = 0x7F000001;

// The presence server's side: one UDP socket on an ephemeral loopback port.
class ScriptedPresence {
 public:
  ScriptedPresence() {
    fd_ = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(kLoopback);
    bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    timeval timeout{5, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  }
  ~ScriptedPresence() { close(fd_); }

  NetAddress address() const { return {kLoopback, port_}; }

  // The next message of `type`, skipping others (keep-alives are not sent here).
  std::optional<std::vector<uint8_t>> Receive(MessageType type) {
    for (int i = 0; i < 50; ++i) {
      std::vector<uint8_t> buffer(kMaxMessageBytes);
      const ssize_t n = recv(fd_, buffer.data(), buffer.size(), 0);
      if (n <= 0) return std::nullopt;
      buffer.resize(static_cast<size_t>(n));
      if (buffer.size() > 1 && buffer[1] == static_cast<uint8_t>(type)) return buffer;
    }
    return std::nullopt;
  }

  void Send(std::span<const uint8_t> message, uint16_t port) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(kLoopback);
    to.sin_port = htons(port);
    sendto(fd_, message.data(), message.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

class NullMedia : public MediaMessageHandler {
 public:
  void OnMediaMessage(const ReceivedMessage&) override {}
};

struct LiveHandset {
  LiveHandset(HandsetConfig config) : calls(config), transport(calls.window) {
    calls.sender.forward_ = [this](std::span<const uint8_t> message, const NetAddress& to) {
      return transport.SendTo(message, to);
    };
    started = transport.Start(TransportConfig{kLoopback, 0, 0}, calls.service->handler(), media);
  }
  ~LiveHandset() {
    calls.service->Shutdown();
    transport.Stop();
  }
  Endpoint endpoint(const std::string& number) const {
    Endpoint e;
    e.phone.Assign(number);
    e.local_address = "127.0.0.1";
    e.local_port = transport.udp_port();
    e.public_address = "127.0.0.1";
    e.public_port = transport.udp_port();
    return e;
  }

  CallHarness calls;
  NullMedia media;
  Transport transport;
  bool started = false;
};

std::vector<uint8_t> ConnectInd(bool caller, const Endpoint& peer, uint16_t own_port) {
  CallConnectFields fields;
  fields.call_number = 1;
  fields.role = caller ? 1 : 0;
  fields.peer = peer;
  fields.own_public_address = "127.0.0.1";
  fields.own_public_port = own_port;
  fields.note = "loopback";
  std::vector<uint8_t> out(kCallConnectIndBytes);
  out.resize(BuildCallConnectInd(out, fields));
  return out;
}

TEST(TwoHandsets, DialAcceptChatSurviveGarbageAndHangUp) {
  ScriptedPresence presence;
  LiveHandset a(HandsetConfig{"AAAAAAAAAAAAAAAAAAAA", "12065550100", "Alice", "127.0.0.1",
                              presence.address()});
  LiveHandset b(
      HandsetConfig{"BBBBBBBBBBBBBBBBBBBB", "12065550111", "Bob", "127.0.0.1", presence.address()});
  ASSERT_TRUE(a.started);
  ASSERT_TRUE(b.started);

  // A finds B online and dials.
  UserListFields page;
  page.public_address = "127.0.0.1";
  page.total = page.entry_count = 1;
  page.entries[0] = UserListEntry{1, "12065550111", "Bob"};
  a.calls.online_db.TakePage(page);
  a.calls.window.ScriptDialog(kDialDialog, [](FakeDialog& d, DialogController& c) {
    d.SetText(kDialEdit, "2065550111");
    c.OnCommand(d, kDialSign);
  });
  a.calls.service->OnCommand(kCommandDial);
  auto request = presence.Receive(MessageType::kCallRequest);
  ASSERT_TRUE(request);
  ASSERT_EQ(ParseCallRequest(*request)->callee.view(), "12065550111");

  // The server connects them; B accepts the prompt.
  b.calls.window.AnswerBoxes(kConnectionCaption, {MessageBoxResult::kYes});
  presence.Send(ConnectInd(true, b.endpoint("12065550111"), a.transport.udp_port()),
                a.transport.udp_port());
  presence.Send(ConnectInd(false, a.endpoint("12065550100"), b.transport.udp_port()),
                b.transport.udp_port());
  ASSERT_TRUE(WaitFor([&] { return a.calls.call_flags.in_call && b.calls.call_flags.in_call; }));
  auto prompt = b.calls.BoxesWithCaption(kConnectionCaption);
  ASSERT_EQ(prompt.size(), 1u);
  EXPECT_EQ(prompt[0].text, "Incoming call from 12065550100 (Alice).\n\n Accept?");
  EXPECT_FALSE(a.calls.window.IsControlVisible(kControlCalling));
  EXPECT_EQ(a.calls.service->Snapshot().peer_name, "12065550111");
  EXPECT_EQ(b.calls.service->Snapshot().peer_name, "12065550100");
  // Both set-up threads report to the server.
  EXPECT_TRUE(presence.Receive(MessageType::kCallSetupReport));

  // Chat from A shows on B with A's name.
  a.calls.window.SetControlText(kControlChatEdit, "hi Bob");
  a.calls.service->OnChatEnter();
  ASSERT_TRUE(WaitFor([&] { return !b.calls.service->ChatLines().empty(); }));
  EXPECT_EQ(b.calls.service->ChatLines()[0], "Alice> hi Bob");
  EXPECT_EQ(a.calls.service->ChatLines()[0], "Alice> hi Bob");

  // Garbage of every type at B during the call: dropped, and B keeps working.
  std::mt19937 random(99);
  for (int type = 0; type < 256; ++type) {
    if (type == 17 || type == 52) continue;  // sound at any length: they would act
    for (size_t length : {1, 5, 6, 9, 13, 40, 80, 107, 200}) {
      std::vector<uint8_t> bytes(length);
      for (auto& byte : bytes) byte = static_cast<uint8_t>(random() | 1);
      bytes[0] = kWireVersion;
      if (length > 1) bytes[1] = static_cast<uint8_t>(type);
      if (length > 3 && type % 2 == 0) {  // half with a matching length field
        bytes[2] = static_cast<uint8_t>(length);
        bytes[3] = 0;
      }
      presence.Send(bytes, b.transport.udp_port());
    }
    // Paced so that the socket's receive buffer never overflows: every datagram is read.
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  // The chat line reaches B's UDP socket behind all of that, and one thread reads it in
  // order: once B shows the line, B has dealt with every datagram before it.
  a.calls.window.SetControlText(kControlChatEdit, "still there?");
  a.calls.service->OnChatEnter();
  ASSERT_TRUE(WaitFor([&] { return b.calls.service->ChatLines().size() == 2; }));
  EXPECT_TRUE(b.calls.call_flags.in_call);
  EXPECT_TRUE(b.calls.window.Boxes().size() == 1u);  // the prompt only

  // A hangs up; B is told.
  a.calls.window.AnswerBoxes(kConnectionCaption, {MessageBoxResult::kYes});
  a.calls.service->OnCommand(kCommandHangUp);
  EXPECT_FALSE(a.calls.call_flags.in_call);
  ASSERT_TRUE(WaitFor([&] { return !b.calls.call_flags.in_call; }));
  ASSERT_TRUE(WaitFor([&] {
    b.calls.ShowNotices();
    return !b.calls.BoxesWithCaption("UDP Connection").empty();
  }));
  EXPECT_EQ(b.calls.BoxesWithCaption("UDP Connection")[0].text, "Call is disconnected by remote.");

  auto log_a = a.calls.CallLog();
  auto log_b = b.calls.CallLog();
  ASSERT_EQ(log_a.size(), 1u);
  ASSERT_EQ(log_b.size(), 1u);
  auto ca = Columns(log_a[0]);
  auto cb = Columns(log_b[0]);
  ASSERT_EQ(ca.size(), 30u);
  ASSERT_EQ(cb.size(), 30u);
  EXPECT_EQ(ca[0], "AAAAAAAAAAAAAAAAAAAA");
  EXPECT_EQ(ca[1], "OUTGOING");
  EXPECT_EQ(ca[8], "Bob");
  EXPECT_EQ(ca[9], "12065550111");
  EXPECT_EQ(ca[7], "loopback");
  EXPECT_EQ(cb[1], "INCOMING");
  EXPECT_EQ(cb[8], "Alice");
  EXPECT_EQ(cb[9], "12065550100");
  ASSERT_EQ(a.calls.History().size(), 1u);
  ASSERT_EQ(b.calls.History().size(), 1u);
  EXPECT_EQ(a.calls.History()[0].substr(0, 3), "OUT");
  EXPECT_EQ(b.calls.History()[0].substr(0, 3), "IN ");
}

}  // namespace
}  // namespace kestrelio
