// Fake handsets on 127.0.0.2 and 127.0.0.3 against a running kestrelio-presence.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/diag.h"
#include "net/socket/udp_socket.h"
#include "net/wire/call_messages.h"
#include "net/wire/presence_messages.h"
#include "net/socket/udp_socket.h"
#include "tests/support/server_process.h"

namespace kestrelio {
namespace {

constexpr int kReceiveTimeoutMs = 5000;

class FakeHandset {
 public:
  FakeHandset(uint32_t ipv4, const char* phone, const char* name, NetAddress server)
      : socket_(NetAddress{ipv4, 0}), phone_(phone), name_(name), server_(server) {}

  bool ok() const { return socket_.is_open(); }
  NetAddress address() const { return socket_.local_address(); }
  const char* phone() const { return phone_; }

  void KeepAlive(uint16_t status = kStatusIdle, const char* phone = nullptr) {
    KeepAliveFields fields;
    fields.counter = counter_++;
    fields.phone = phone != nullptr ? phone : phone_;
    fields.local_address = "192.168.7.1";
    fields.user_name = name_;
    fields.device_id = "00112233445566778899";
    fields.status = status;
    Send(std::span(buffer_).first(BuildKeepAlive(buffer_, fields)));
  }

  void CallRequest(const char* callee) {
    CallRequestFields fields{server_counter_++, phone_, callee};
    Send(std::span(buffer_).first(BuildCallRequest(buffer_, fields)));
  }

  void Send(std::span<const uint8_t> message) { socket_.Send(message, server_); }

  // The next datagram, whatever it is; empty on time-out.
  std::vector<uint8_t> Next() {
    const ReceiveResult got = socket_.Receive(buffer_, kReceiveTimeoutMs);
    if (got.status != ReceiveStatus::kDatagram) return {};
    return std::vector<uint8_t>(buffer_.begin(), buffer_.begin() + static_cast<long>(got.size));
  }

  // Pages up to the last one, as the handset's list intake takes them.
  std::vector<UserListFields> ListPages() {
    std::vector<UserListFields> pages;
    while (pages.size() < kMaxUserListPages) {
      auto datagram = Next();
      auto page = ParseUserListInd(datagram);
      if (!page) break;
      pages.push_back(*page);
      if (page->page == page->page_count) break;
    }
    return pages;
  }

  // Keeps alive and returns the first datagram that answers: anything the server sent
  // before the list (a connect, a busy) would come first on the same socket.
  std::vector<uint8_t> FirstAfterKeepAlive() {
    KeepAlive();
    auto first = Next();
    if (ParseUserListInd(first)) {
      auto page = ParseUserListInd(first);
      for (int p = page->page; p < page->page_count; ++p) Next();
    }
    return first;
  }

 private:
  UdpSocket socket_;
  const char* phone_;
  const char* name_;
  NetAddress server_;
  uint16_t counter_ = 0;
  uint16_t server_counter_ = 0;
  std::vector<uint8_t> buffer_ = std::vector<uint8_t>(kMaxMessageBytes);
};

constexpr uint32_t kHandsetA = 0x7F000002;  // 127.0.0.2
constexpr uint32_t kHandsetB = 0x7F000003;  // 127.0.0.3
constexpr uint32_t kCrowd = 0x7F000004;     // 127.0.0.4

// These tests script one handset's exchanges far faster than a handset talks (one
// keep-alive in ten seconds) and sign many numbers in from one socket; the per-source
// limits that bound this have their own tests (tests/unit/presence_server).
const std::vector<std::string> kNoSourceLimits = {"--list-rate", "0", "--signin-rate", "0"};

const UserListEntry* FindEntry(const std::vector<UserListFields>& pages, const char* phone) {
  for (const auto& page : pages) {
    for (const auto& entry : page.page_entries()) {
      if (entry.phone.view() == phone) return &entry;
    }
  }
  return nullptr;
}

TEST(PresenceServerProcess, ListsPagesAndConnectsACall) {
  ServerProcess server(kNoSourceLimits);
  ASSERT_TRUE(server.running());
  FakeHandset a(kHandsetA, "01000000002", "Alice", server.address());
  FakeHandset b(kHandsetB, "01000000003", "Bora", server.address());
  FakeHandset crowd(kCrowd, "01000000004", "Crowd", server.address());
  ASSERT_TRUE(a.ok() && b.ok() && crowd.ok());

  b.KeepAlive();
  ASSERT_EQ(b.ListPages().size(), 1u);
  for (int i = 0; i < 25; ++i) {
    std::string phone = "0109000" + std::to_string(1000 + i);
    crowd.KeepAlive(kStatusIdle, phone.c_str());
    crowd.ListPages();
  }
  a.KeepAlive();
  auto pages = a.ListPages();
  ASSERT_EQ(pages.size(), 2u);
  // The handset's Online DB count after each page: 20, then the total.
  EXPECT_EQ(pages[0].page, 1);
  EXPECT_EQ(pages[0].page_count, 2);
  EXPECT_EQ(pages[0].entry_count, 20);
  EXPECT_EQ(pages[1].page, 2);
  EXPECT_EQ(pages[1].entry_count, 7);
  EXPECT_EQ(pages[1].total, 27);
  for (const auto& page : pages) {
    EXPECT_EQ(page.public_address.view(), "127.0.0.2");
    EXPECT_EQ(page.public_port, a.address().port);
    EXPECT_EQ(page.word4, 0) << "echoes the keep-alive counter";
  }
  const UserListEntry* listed_b = FindEntry(pages, b.phone());
  ASSERT_NE(listed_b, nullptr);
  EXPECT_EQ(listed_b->status, kStatusIdle);
  EXPECT_EQ(listed_b->user_name.view(), "Bora");

  a.CallRequest(b.phone());
  auto to_a = ParseCallConnectInd(a.Next());
  auto to_b = ParseCallConnectInd(b.Next());
  ASSERT_TRUE(to_a && to_b);
  EXPECT_TRUE(to_a->caller());
  EXPECT_FALSE(to_b->caller());
  EXPECT_EQ(to_a->peer.phone.view(), b.phone());
  EXPECT_EQ(to_a->peer.public_address.view(), "127.0.0.3");
  EXPECT_EQ(to_a->peer.public_port, b.address().port);
  EXPECT_EQ(to_a->peer.local_address.view(), "192.168.7.1");
  EXPECT_EQ(to_a->peer.local_port, kHandsetUdpPort);
  EXPECT_EQ(to_a->own_public_address.view(), "127.0.0.2");
  EXPECT_EQ(to_a->own_public_port, a.address().port);
  EXPECT_EQ(to_b->peer.phone.view(), a.phone());
  EXPECT_EQ(to_b->peer.public_address.view(), "127.0.0.2");
  EXPECT_EQ(to_b->peer.public_port, a.address().port);
  EXPECT_EQ(to_b->own_public_address.view(), "127.0.0.3");
  EXPECT_EQ(to_b->own_public_port, b.address().port);
  EXPECT_FALSE(to_a->note.empty());
  EXPECT_EQ(to_a->note, to_b->note);
  EXPECT_EQ(to_a->call_number, to_b->call_number);
  EXPECT_TRUE(server.WaitForLog("\"event\":\"call-connect\""));
}

TEST(PresenceServerProcess, BusyUnknownAndSelfCalls) {
  ServerProcess server(kNoSourceLimits);
  ASSERT_TRUE(server.running());
  FakeHandset a(kHandsetA, "01000000002", "Alice", server.address());
  FakeHandset b(kHandsetB, "01000000003", "Bora", server.address());
  a.KeepAlive();
  a.ListPages();
  b.KeepAlive(kStatusInCall);
  b.ListPages();

  a.CallRequest(b.phone());
  auto busy = ParseCallAnswer(a.Next());
  ASSERT_TRUE(busy);
  EXPECT_EQ(busy->type, MessageType::kCallBusyRsp);
  EXPECT_EQ(busy->phone.view(), b.phone());
  EXPECT_EQ(busy->user_name.view(), "Bora");
  EXPECT_TRUE(ParseUserListInd(b.FirstAfterKeepAlive())) << "the busy callee is not disturbed";

  a.CallRequest("01099999999");
  EXPECT_TRUE(ParseUserListInd(a.FirstAfterKeepAlive())) << "an unknown number gets nothing";
  a.CallRequest(a.phone());
  EXPECT_TRUE(ParseUserListInd(a.FirstAfterKeepAlive())) << "nor does one's own number";
  EXPECT_TRUE(server.WaitForLog("\"reason\":\"callee-unknown\""));
}

TEST(PresenceServerProcess, SilentUserGoesOffline) {
  std::vector<std::string> args = kNoSourceLimits;
  args.insert(args.end(), {"--offline-after", "0.3"});
  ServerProcess server(args);
  ASSERT_TRUE(server.running());
  FakeHandset a(kHandsetA, "01000000002", "Alice", server.address());
  FakeHandset b(kHandsetB, "01000000003", "Bora", server.address());
  b.KeepAlive();
  b.ListPages();

  // A keeps alive; B stays silent. B's entry must turn to status 0.
  std::optional<UserListEntry> last_b;
  std::optional<UserListEntry> last_a;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    a.KeepAlive();
    auto pages = a.ListPages();
    ASSERT_EQ(pages.size(), 1u);
    last_a = *FindEntry(pages, a.phone());
    last_b = *FindEntry(pages, b.phone());
    if (last_b->status == kStatusOffline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_TRUE(last_b && last_a);
  EXPECT_EQ(last_b->status, kStatusOffline);
  EXPECT_EQ(last_a->status, kStatusIdle);
  EXPECT_TRUE(server.WaitForLog("\"event\":\"offline\""));

  a.CallRequest(b.phone());
  EXPECT_TRUE(ParseUserListInd(a.FirstAfterKeepAlive())) << "an offline callee gets no call";

  // B comes back and is listed online again.
  b.KeepAlive();
  EXPECT_EQ(FindEntry(b.ListPages(), b.phone())->status, kStatusIdle);
}

TEST(PresenceServerProcess, BadDatagramsAreCountedNotFatal) {
  DiagQuietScope quiet;
  ServerProcess server;
  ASSERT_TRUE(server.running());
  FakeHandset a(kHandsetA, "01000000002", "Alice", server.address());
  std::vector<uint8_t> junk = {0x12, 0x41, 0x06, 0x00, 0, 0};
  a.Send(junk);
  junk[0] = 0x11;
  a.Send(junk);  // a KeepAlive of 6 bytes
  a.Send(std::vector<uint8_t>{0x11});
  std::vector<uint8_t> huge(kMaxMessageBytes + 100, 0x11);
  a.Send(huge);
  std::vector<uint8_t> release(106);
  a.Send(std::span(release).first(BuildCallReleaseReq(release)));

  CallSetupReportFields report;
  report.outcome = 1;
  report.role = 1;
  report.state = 2;
  report.own.phone = a.phone();
  std::vector<uint8_t> out(kCallSetupReportBytes);
  a.Send(std::span(out).first(BuildCallSetupReport(out, report)));

  a.KeepAlive();
  EXPECT_EQ(a.ListPages().size(), 1u) << "the server still answers";
  EXPECT_TRUE(server.WaitForLog("\"event\":\"setup-report\""));
  std::string log = server.Log();
  size_t malformed = 0;
  for (size_t at = log.find("\"malformed\""); at != std::string::npos;
       at = log.find("\"malformed\"", at + 1)) {
    ++malformed;
  }
  EXPECT_EQ(malformed, 4u);
  EXPECT_NE(log.find("\"event\":\"unexpected\""), std::string::npos);
}

// With its default limits the server answers a flood of keep-alives from one source a
// few times, not once a datagram, and goes on answering other sources.
TEST(PresenceServerProcess, AFloodFromOneSourceGetsAFewListsAndOthersAreStillAnswered) {
  ServerProcess server;
  ASSERT_TRUE(server.running());
  FakeHandset flood(kHandsetA, "01000000002", "Alice", server.address());
  FakeHandset b(kHandsetB, "01000000003", "Bora", server.address());
  for (int i = 0; i < 200; ++i) flood.KeepAlive();
  size_t answered = 0;
  while (!flood.ListPages().empty()) ++answered;  // until the socket stays quiet
  EXPECT_GE(answered, 1u);
  // A few a second over however long the server takes for 200 datagrams; unbounded, it
  // would be 200.
  EXPECT_LT(answered, 50u);
  b.KeepAlive();
  EXPECT_EQ(b.ListPages().size(), 1u);
}

}  // namespace
}  // namespace kestrelio
