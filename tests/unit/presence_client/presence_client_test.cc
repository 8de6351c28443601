#include "net/presence/presence_client.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "base/window/ids.h"
#include "tests/support/fake_window.h"

namespace kestrelio {
namespace {

// Records what would go out on the UDP socket.
class FakeSender : public DatagramSender {
 public:
  SendResult Send(std::span<const uint8_t> message, const NetAddress& to) override {
    std::lock_guard lock(mutex_);
    sent_.emplace_back(message.begin(), message.end());
    destinations_.push_back(to);
    changed_.notify_all();
    return succeed_ ? SendResult::Sent(message.size()) : SendResult::Failed(ENETUNREACH);
  }
  bool WaitForSent(size_t count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return sent_.size() >= count; });
  }
  std::vector<KeepAliveFields> KeepAlives() {
    std::lock_guard lock(mutex_);
    std::vector<KeepAliveFields> parsed;
    for (const auto& message : sent_) {
      EXPECT_EQ(message.size(), kKeepAliveBytes);
      std::optional<KeepAliveFields> fields = ParseKeepAlive(message);
      EXPECT_TRUE(fields.has_value());
      if (fields) parsed.push_back(*fields);
    }
    return parsed;
  }
  std::vector<NetAddress> destinations() {
    std::lock_guard lock(mutex_);
    return destinations_;
  }
  void set_succeed(bool succeed) {
    std::lock_guard lock(mutex_);
    succeed_ = succeed;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::vector<uint8_t>> sent_;
  std::vector<NetAddress> destinations_;
  bool succeed_ = true;
};

constexpr NetAddress kServer{0x7F000001, 8238};

struct Handset {
  FakeSender sender;
  FakeWindow window;
  OnlineDb db;
  CallFlags flags;
  OwnIdentity identity{"0123456789ABCDEF0123", "12063330001", "Ann"};
  std::vector<std::string> bubbles;
  bool bubble_answers = true;
  PresenceClient client{sender,
                        window,
                        db,
                        flags,
                        identity,
                        PresenceClientConfig{kServer, "127.0.0.2"},
                        [this](std::string_view html) {
                          bubbles.emplace_back(html);
                          return bubble_answers;
                        }};
};

UserListFields PageOf(std::vector<UserListEntry> entries) {
  UserListFields page;
  page.public_address = "203.0.113.7";
  page.public_port = 40000;
  page.entry_count = static_cast<uint16_t>(entries.size());
  page.total = page.entry_count;
  for (size_t i = 0; i < entries.size(); ++i) page.entries[i] = entries[i];
  return page;
}

UserListEntry User(uint16_t status, const char* number, const char* name) {
  UserListEntry entry;
  entry.status = status;
  entry.phone = number;
  entry.user_name = name;
  return entry;
}

TEST(KeepAlive, CarriesIdentityAndStateAndCountsUpWrapping) {
  Handset h;
  h.client.RefreshLocalAddress();
  ASSERT_TRUE(h.client.SendKeepAlive());
  h.flags.in_call = true;
  ASSERT_TRUE(h.client.SendKeepAlive());
  std::vector<KeepAliveFields> sent = h.sender.KeepAlives();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].counter, 0);
  EXPECT_EQ(sent[1].counter, 1);
  EXPECT_EQ(sent[0].phone.view(), "12063330001");
  EXPECT_EQ(sent[0].user_name.view(), "Ann");
  EXPECT_EQ(sent[0].device_id.view(), "0123456789ABCDEF0123");
  EXPECT_EQ(sent[0].local_address.view(), "127.0.0.2");
  EXPECT_EQ(sent[0].local_port, 8200);
  EXPECT_EQ(sent[0].version.view(), "1.0.5");
  EXPECT_EQ(sent[0].status, kStatusIdle);
  EXPECT_EQ(sent[1].status, kStatusInCall);
  EXPECT_EQ(h.sender.destinations()[0], kServer);

  h.identity.SetUserName("Bob");  // "My Name" changes the one record
  for (int i = 2; i < 65536; ++i) h.client.SendKeepAlive();
  h.client.SendKeepAlive();
  EXPECT_EQ(h.sender.KeepAlives().back().counter, 0);  // 65536 wraps
  EXPECT_EQ(h.sender.KeepAlives().back().user_name.view(), "Bob");
  EXPECT_EQ(h.client.KeepAliveCounter(), 65537u);
}

TEST(KeepAlive, LocalAddressComesFromTheOwnInterfaceWithoutBind) {
  for (const char* bind : {"", "0.0.0.0"}) {
    FakeSender sender;
    FakeWindow window;
    OnlineDb db;
    CallFlags flags;
    OwnIdentity identity{"", "", ""};
    PresenceClient client(sender, window, db, flags, identity,
                          PresenceClientConfig{kServer, bind, [] { return 0x0A000205u; }}, nullptr);
    client.RefreshLocalAddress();
    EXPECT_EQ(client.OwnLocalAddress(), "10.0.2.5") << "bind \"" << bind << "\"";
    ASSERT_TRUE(client.SendKeepAlive());
    EXPECT_EQ(sender.KeepAlives().back().local_address.view(), "10.0.2.5");
  }
}

TEST(KeepAlive, BindAddressWinsOverTheOwnInterface) {
  FakeSender sender;
  FakeWindow window;
  OnlineDb db;
  CallFlags flags;
  OwnIdentity identity{"", "", ""};
  bool asked = false;
  PresenceClient client(sender, window, db, flags, identity,
                        PresenceClientConfig{kServer, "127.0.0.9",
                                             [&asked] {
                                               asked = true;
                                               return 0x0A000205u;
                                             }},
                        nullptr);
  client.RefreshLocalAddress();
  EXPECT_EQ(client.OwnLocalAddress(), "127.0.0.9");
  EXPECT_FALSE(asked);
}

TEST(KeepAlive, DefaultFinderGivesThisMachinesInterfaceAddress) {
  FakeSender sender;
  FakeWindow window;
  OnlineDb db;
  CallFlags flags;
  OwnIdentity identity{"", "", ""};
  PresenceClient client(sender, window, db, flags, identity,
                        PresenceClientConfig{kServer, "0.0.0.0"}, nullptr);
  client.RefreshLocalAddress();
  EXPECT_EQ(client.OwnLocalAddress(), OwnInterfaceAddress());
  EXPECT_NE(client.OwnLocalAddress().rfind("127.0.1.", 0), 0u) << "host-name address used";
}

TEST(KeepAliveThread, SendsAtOnceThenEveryPeriod) {
  setenv("KESTRELIO_TIMER_SCALE", "0.002", 1);  // 20 ms
  Handset h;
  h.client.Start();
  EXPECT_TRUE(h.sender.WaitForSent(3));
  h.client.Stop();
  unsetenv("KESTRELIO_TIMER_SCALE");
  std::vector<KeepAliveFields> sent = h.sender.KeepAlives();
  for (size_t i = 0; i < sent.size(); ++i) EXPECT_EQ(sent[i].counter, i);
  EXPECT_TRUE(h.window.Boxes().empty());
}

TEST(KeepAliveThread, SendSoonSendsTheNewStateWithoutWaitingForThePeriod) {
  setenv("KESTRELIO_TIMER_SCALE", "100", 1);  // a period far beyond the wait below
  Handset h;
  h.client.Start();
  ASSERT_TRUE(h.sender.WaitForSent(1));
  h.flags.in_call = true;  // a call starts
  h.client.SendKeepAliveSoon();
  ASSERT_TRUE(h.sender.WaitForSent(2));
  h.flags.in_call = false;  // and ends
  h.client.SendKeepAliveSoon();
  ASSERT_TRUE(h.sender.WaitForSent(3));
  h.client.Stop();
  unsetenv("KESTRELIO_TIMER_SCALE");
  std::vector<KeepAliveFields> sent = h.sender.KeepAlives();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0].status, kStatusIdle);
  EXPECT_EQ(sent[1].status, kStatusInCall);
  EXPECT_EQ(sent[2].status, kStatusIdle);
}

TEST(KeepAliveThread, AFailedSendShowsTheBoxAndStopClosesABoxLeftOpen) {
  Handset h;
  h.sender.set_succeed(false);
  h.window.HoldBoxes(kKeepAliveErrorCaption);
  h.client.Start();
  ASSERT_TRUE(h.window.WaitForHeldBox(kKeepAliveErrorCaption, 10000));
  h.client.Stop();  // must not hang on the open box
  std::vector<FakeWindow::Box> boxes = h.window.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "KeepAlive Sending Error");
  EXPECT_EQ(boxes[0].caption, "KEEPALIVE");
}

TEST(UserListIntake, StoresOwnPublicAddressAndThePage) {
  Handset h;
  EXPECT_EQ(h.client.OwnPublicAddressText(), "");
  h.client.OnUserListInd(PageOf({User(1, "12063330002", "Bob")}));
  EXPECT_EQ(h.client.OwnPublicAddress(), (NetAddress{0xCB007107, 40000}));
  EXPECT_EQ(h.client.OwnPublicAddressText(), "203.0.113.7");
  EXPECT_EQ(h.db.Count(), 1u);

  UserListFields bad = PageOf({});
  bad.public_address = "not an address";
  h.client.OnUserListInd(bad);
  EXPECT_EQ(h.client.OwnPublicAddressText(), "203.0.113.7");
  EXPECT_EQ(h.db.Count(), 0u);

  h.client.SetOwnPublicAddress(NetAddress{0x0A000001, 5});
  EXPECT_EQ(h.client.OwnPublicAddressText(), "10.0.0.1");
}

TEST(SignInText, OneAndManyNames) {
  EXPECT_EQ(SignInText({}), "");
  EXPECT_EQ(SignInText({"Bob"}), "<html><body>[<b>Bob</b>] has just signed in.</body></html>");
  EXPECT_EQ(SignInText({"Bob", "Cy"}),
            "<html><body>[<b>Bob</b>] [<b>Cy</b>] have just signed in.</body></html>");
  EXPECT_EQ(SignInPlainText({"Bob"}), "[Bob] has just signed in.");
  EXPECT_EQ(SignInPlainText({"Bob", "Cy"}), "[Bob] [Cy] have just signed in.");
}

TEST(SignInText, NeverLongerThan1023Bytes) {
  std::vector<std::string> names(100, std::string(31, 'x'));
  std::string text = SignInText(names);
  EXPECT_LE(text.size(), 1023u);
  EXPECT_TRUE(text.ends_with("have just signed in.</body></html>"));
}

TEST(SignInNotice, UsersComingOnlineAreAnnouncedInPageOrder) {
  Handset h;
  h.client.OnUserListInd(PageOf({User(0, "2", "Bob"), User(1, "3", "Cy"), User(0, "4", "Di")}));
  EXPECT_TRUE(h.bubbles.empty());  // nobody was listed offline before
  h.client.OnUserListInd(PageOf({User(1, "2", "Bob"), User(1, "3", "Cy"), User(0, "4", "Di")}));
  ASSERT_EQ(h.bubbles.size(), 1u);
  EXPECT_EQ(h.bubbles[0], "<html><body>[<b>Bob</b>] has just signed in.</body></html>");
  h.client.OnUserListInd(PageOf({User(0, "2", "Bob"), User(2, "3", "Cy"), User(0, "4", "Di")}));
  h.client.OnUserListInd(PageOf({User(2, "4", "Di"), User(1, "2", "Bob")}));
  ASSERT_EQ(h.bubbles.size(), 2u);
  EXPECT_EQ(h.bubbles[1],
            "<html><body>[<b>Di</b>] [<b>Bob</b>] have just signed in.</body></html>");
  EXPECT_EQ(h.client.LastSignInText(), h.bubbles[1]);
  EXPECT_EQ(h.window.ControlText(kControlStatusLine), "");
}

TEST(SignInNotice, WithoutANotificationServiceAPassingNoticeSaysItAndTheStatusLineStays) {
  Handset h;
  h.bubble_answers = false;
  h.window.SetControlText(kControlStatusLine, "Disconnected, 0:00, 87%");
  h.client.OnUserListInd(PageOf({User(0, "2", "Bob")}));
  h.client.OnUserListInd(PageOf({User(1, "2", "Bob")}));
  const auto notices = h.window.Notices();
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].text, "[Bob] has just signed in.");
  EXPECT_EQ(notices[0].duration_ms, kSignInNoticeMs);
  EXPECT_EQ(h.window.ControlText(kControlStatusLine), "Disconnected, 0:00, 87%");
  EXPECT_TRUE(h.window.Boxes().empty());
}

TEST(SignInNotice, SwitchedOffPagesStillFillTheTable) {
  Handset h;
  h.client.show_sign_in_notifications = false;
  h.client.OnUserListInd(PageOf({User(0, "2", "Bob")}));
  h.client.OnUserListInd(PageOf({User(1, "2", "Bob")}));
  EXPECT_TRUE(h.bubbles.empty());
  EXPECT_EQ(h.client.LastSignInText(), "");
  ASSERT_TRUE(h.db.Lookup("2").has_value());
  EXPECT_EQ(h.db.Lookup("2")->status, 1u);
}

}  // namespace
}  // namespace kestrelio
