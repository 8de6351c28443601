// Two presence clients on real loopback sockets (127.0.0.2, 127.0.0.3) against a running
// kestrelio-presence. Each handset's socket and receive loop stand in for the transport.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/presence/presence_client.h"
#include "net/socket/udp_socket.h"
#include "net/wire/header.h"
#include "net/socket/udp_socket.h"
#include "tests/support/fake_window.h"
#include "tests/support/server_process.h"
#include "tests/support/wait.h"

namespace kestrelio {
namespace {

// DatagramSender over a socket the test owns.
class SocketSender : public DatagramSender {
 public:
  explicit SocketSender(UdpSocket& socket) : socket_(socket) {}
  SendResult Send(std::span<const uint8_t> message, const NetAddress& to) override {
    std::lock_guard lock(mutex_);
    return socket_.Send(message, to);
  }

 private:
  std::mutex mutex_;
  UdpSocket& socket_;
};

class Handset {
 public:
  Handset(uint32_t ipv4, const char* phone, const char* name, NetAddress server)
      : socket_(NetAddress{ipv4, 0}),
        sender_(socket_),
        identity_("00112233445566778899", phone, name),
        client_(sender_, window_, db_, flags_, identity_,
                PresenceClientConfig{server, std::string(DottedAddress(ipv4).view())},
                [this](std::string_view html) {
                  std::lock_guard lock(mutex_);
                  bubbles_.emplace_back(html);
                  return true;
                }),
        receiver_([this](std::stop_token stop) { Receive(stop); }) {}

  ~Handset() {
    client_.Stop();
    receiver_.request_stop();
    receiver_.join();
  }

  bool ok() const { return socket_.is_open(); }
  NetAddress address() const { return socket_.local_address(); }
  PresenceClient& client() { return client_; }
  OnlineDb& db() { return db_; }
  CallFlags& flags() { return flags_; }
  std::vector<std::string> bubbles() {
    std::lock_guard lock(mutex_);
    return bubbles_;
  }
  // User list pages the presence client has taken in.
  int pages_taken() const { return pages_taken_.load(); }

 private:
  // The transport's part: bounds-checked parse, then the presence intake.
  void Receive(std::stop_token stop) {
    std::vector<uint8_t> buffer(kMaxMessageBytes);
    while (!stop.stop_requested()) {
      const ReceiveResult got = socket_.Receive(buffer, 50);
      if (got.status != ReceiveStatus::kDatagram) continue;
      std::optional<UserListFields> page =
          ParseUserListInd(std::span<const uint8_t>(buffer.data(), got.size));
      if (page) {
        client_.OnUserListInd(*page);
        pages_taken_.fetch_add(1);
      }
    }
  }

  UdpSocket socket_;
  SocketSender sender_;
  FakeWindow window_;
  OnlineDb db_;
  CallFlags flags_;
  OwnIdentity identity_;
  PresenceClient client_;
  std::mutex mutex_;
  std::vector<std::string> bubbles_;
  std::atomic<int> pages_taken_{0};
  std::jthread receiver_;
};

// Polls `condition` for up to 15 s.
bool Eventually(const std::function<bool()>& condition) {
  return testing::WaitFor(condition, 15000, 10);
}

uint32_t StatusOf(OnlineDb& db, const char* number) {
  std::optional<OnlineUser> user = db.Lookup(number);
  return user ? user->status : 99;
}

constexpr uint32_t kAddressA = 0x7F000002;
constexpr uint32_t kAddressB = 0x7F000003;
constexpr char kNumberA[] = "12063330002";
constexpr char kNumberB[] = "12063330003";

TEST(PresenceClientProcess, HandsetsSeeEachOtherAndAReturningUserIsAnnounced) {
  setenv("KESTRELIO_TIMER_SCALE", "0.02", 1);  // keep-alive every 200 ms
  ServerProcess server({"--offline-after", "0.6"});
  ASSERT_TRUE(server.running());
  Handset a(kAddressA, kNumberA, "Alice", server.address());
  Handset b(kAddressB, kNumberB, "Bora", server.address());
  ASSERT_TRUE(a.ok() && b.ok());

  a.client().Start();
  b.client().Start();
  ASSERT_TRUE(Eventually([&] { return StatusOf(a.db(), kNumberB) == kStatusIdle; }));
  ASSERT_TRUE(Eventually([&] { return StatusOf(b.db(), kNumberA) == kStatusIdle; }));
  EXPECT_EQ(a.db().Count(), 2u);
  EXPECT_EQ(a.db().Lookup(kNumberB)->name, "Bora");
  EXPECT_EQ(a.client().OwnPublicAddress(), a.address());
  EXPECT_EQ(a.client().OwnPublicAddressText(), "127.0.0.2");
  EXPECT_EQ(b.client().OwnLocalAddress(), "127.0.0.3");

  // A call on B shows as busy on A.
  b.flags().in_call = true;
  ASSERT_TRUE(Eventually([&] { return StatusOf(a.db(), kNumberB) == kStatusInCall; }));
  b.flags().in_call = false;

  // B goes silent, is listed offline, and comes back: A is told once.
  b.client().Stop();
  ASSERT_TRUE(Eventually([&] { return StatusOf(a.db(), kNumberB) == kStatusOffline; }));
  EXPECT_TRUE(a.bubbles().empty());
  b.client().Start();
  ASSERT_TRUE(Eventually([&] { return !a.bubbles().empty(); }));
  EXPECT_EQ(a.bubbles().front(), "<html><body>[<b>Bora</b>] has just signed in.</body></html>");
  ASSERT_TRUE(Eventually([&] { return StatusOf(a.db(), kNumberB) == kStatusIdle; }));
  // Later lists that still hold B announce nothing more.
  const int pages_then = a.pages_taken();
  ASSERT_TRUE(Eventually([&] { return a.pages_taken() >= pages_then + 3; }));
  EXPECT_EQ(a.bubbles().size(), 1u);
  unsetenv("KESTRELIO_TIMER_SCALE");
}

}  // namespace
}  // namespace kestrelio
