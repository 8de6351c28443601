// The presence server's core, socket-free, on a stepped clock: what each keep-alive makes
// of a user's listing, when silence turns a user offline, how the list is paged, and what
// a call request to every kind of callee brings.
#include "servers/presence/presence_server.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "net/wire/call_messages.h"
#include "net/wire/presence_messages.h"
#include "tests/support/presence_core_rig.h"

namespace kestrelio {
namespace {

using testing::PresenceCoreRig;
constexpr uint64_t kOfflineMs = PresenceCoreRig::kOfflineAfterMs;

bool Has(const std::string& line, const std::string& text) {
  return line.find(text) != std::string::npos;
}

// --- A user's listing after a keep-alive and some silence --------------------------------

struct ListingCase {
  const char* name;
  uint16_t reported_status;  // in the user's keep-alive
  uint64_t silence_ms;       // from that keep-alive to another user's
  uint16_t listed_status;    // what the other user's list shows
  bool logged_offline;       // a sweep at that moment logs the change to offline
};

void PrintTo(const ListingCase& c, std::ostream* out) { *out << c.name; }

class ListingAfterSilence : public ::testing::TestWithParam<ListingCase> {};

TEST_P(ListingAfterSilence, ShowsTheReportedStatusUntilTheOfflineTime) {
  const ListingCase& c = GetParam();
  PresenceCoreRig rig;
  rig.KeepAlive(2, c.reported_status);
  rig.clock().Advance(c.silence_ms);
  rig.Sweep();
  rig.KeepAlive(1);
  auto pages = rig.TakePages(1);
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(PresenceCoreRig::ListedStatus(pages, 2), c.listed_status);
  EXPECT_EQ(PresenceCoreRig::ListedStatus(pages, 1), kStatusIdle) << "the asker is online";
  auto offline = rig.Events("offline");
  ASSERT_EQ(offline.size(), c.logged_offline ? 1u : 0u);
  if (c.logged_offline) {
    EXPECT_TRUE(Has(offline[0], "\"phone\":\"" + PresenceCoreRig::PhoneOf(2) + "\""));
    EXPECT_TRUE(Has(offline[0], "\"silent_ms\":" + std::to_string(c.silence_ms)));
  }
  if (c.logged_offline) {  // reported once, not at every sweep after it
    rig.clock().Advance(1000);
    rig.Sweep();
    EXPECT_EQ(rig.Events("offline").size(), 1u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    KeepAlive, ListingAfterSilence,
    ::testing::Values(
        ListingCase{"IdleJustNow", kStatusIdle, 0, kStatusIdle, false},
        ListingCase{"InCallJustNow", kStatusInCall, 0, kStatusInCall, false},
        ListingCase{"IdleSilentALittleLess", kStatusIdle, kOfflineMs - 1, kStatusIdle, false},
        ListingCase{"InCallSilentALittleLess", kStatusInCall, kOfflineMs - 1, kStatusInCall, false},
        ListingCase{"IdleSilentTheOfflineTime", kStatusIdle, kOfflineMs, kStatusOffline, true},
        ListingCase{"InCallSilentLonger", kStatusInCall, kOfflineMs + 15000, kStatusOffline, true}),
    [](const auto& instance) { return std::string(instance.param.name); });

// --- What the log says of a second keep-alive ---------------------------------------------

struct SecondKeepAliveCase {
  const char* name;
  uint16_t first_status;
  uint64_t gap_ms;
  uint16_t second_status;
  bool signin;          // the second keep-alive counts as signing in
  bool status_changed;  // it changes the status of a user who stayed online
};

void PrintTo(const SecondKeepAliveCase& c, std::ostream* out) { *out << c.name; }

class SecondKeepAlive : public ::testing::TestWithParam<SecondKeepAliveCase> {};

TEST_P(SecondKeepAlive, IsASignInOnlyAfterTheOfflineTime) {
  const SecondKeepAliveCase& c = GetParam();
  PresenceCoreRig rig;
  rig.KeepAlive(1, c.first_status, 1);
  rig.clock().Advance(c.gap_ms);
  rig.KeepAlive(1, c.second_status, 2);
  auto lines = rig.Events("keepalive");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(Has(lines[0], "\"signin\":true")) << "the first keep-alive signs in";
  EXPECT_TRUE(Has(lines[1], c.signin ? "\"signin\":true" : "\"signin\":false")) << lines[1];
  EXPECT_TRUE(
      Has(lines[1], c.status_changed ? "\"status_changed\":true" : "\"status_changed\":false"))
      << lines[1];
  EXPECT_TRUE(Has(lines[1], "\"status\":" + std::to_string(c.second_status)));
  EXPECT_EQ(rig.server().users().size(), 1u) << "one user, however often seen";
  EXPECT_EQ(rig.server().stats().keep_alives, 2u);
  // The answer is the list, with the keep-alive's counter and the sender's own address.
  auto pages = rig.TakePages(1);
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[1].word4, 2);
  EXPECT_EQ(pages[1].public_address.view(), "127.0.1.1");
  EXPECT_EQ(pages[1].public_port, PresenceCoreRig::AddressOf(1).port);
  EXPECT_EQ(PresenceCoreRig::ListedStatus({pages[1]}, 1), c.second_status);
}

INSTANTIATE_TEST_SUITE_P(
    KeepAlive, SecondKeepAlive,
    ::testing::Values(
        SecondKeepAliveCase{"SameStatusSoon", kStatusIdle, 10000, kStatusIdle, false, false},
        SecondKeepAliveCase{"IntoACall", kStatusIdle, 10000, kStatusInCall, false, true},
        SecondKeepAliveCase{"OutOfACall", kStatusInCall, 10000, kStatusIdle, false, true},
        SecondKeepAliveCase{"JustBeforeTheOfflineTime", kStatusIdle, kOfflineMs - 1, kStatusIdle,
                            false, false},
        SecondKeepAliveCase{"BackAfterTheOfflineTime", kStatusIdle, kOfflineMs, kStatusIdle, true,
                            false},
        SecondKeepAliveCase{"BackInACallAfterSilence", kStatusIdle, kOfflineMs * 3, kStatusInCall,
                            true, false}),
    [](const auto& instance) { return std::string(instance.param.name); });

// --- Paging ---------------------------------------------------------------------------------

struct PagingCase {
  int users;
  std::vector<uint16_t> entries_per_page;
};

void PrintTo(const PagingCase& c, std::ostream* out) { *out << c.users << " users"; }

class ListPaging : public ::testing::TestWithParam<PagingCase> {};

TEST_P(ListPaging, PagesHoldTwentyInSignInOrderWithTheTotal) {
  const PagingCase& c = GetParam();
  PresenceCoreRig rig;
  for (int handset = 1; handset <= c.users; ++handset) rig.KeepAlive(handset);
  rig.sender().Clear();
  rig.KeepAlive(1, kStatusIdle, 42);
  auto pages = rig.TakePages(1);
  ASSERT_EQ(pages.size(), c.entries_per_page.size());
  int next = 1;
  for (size_t p = 0; p < pages.size(); ++p) {
    SCOPED_TRACE("page " + std::to_string(p + 1));
    EXPECT_EQ(static_cast<size_t>(pages[p].page), p + 1);
    EXPECT_EQ(static_cast<size_t>(pages[p].page_count), pages.size());
    EXPECT_EQ(pages[p].total, c.users);
    EXPECT_EQ(pages[p].word4, 42);
    EXPECT_EQ(pages[p].public_address.view(), "127.0.1.1");
    ASSERT_EQ(pages[p].entry_count, c.entries_per_page[p]);
    for (const auto& entry : pages[p].page_entries()) {
      EXPECT_EQ(entry.phone.view(), PresenceCoreRig::PhoneOf(next));
      EXPECT_EQ(entry.user_name.view(), PresenceCoreRig::NameOf(next));
      EXPECT_EQ(entry.status, kStatusIdle);
      ++next;
    }
  }
  EXPECT_EQ(next, c.users + 1);
  EXPECT_EQ(rig.sender().sent().size(), 0u) << "nothing to anyone else";
}

INSTANTIATE_TEST_SUITE_P(KeepAlive, ListPaging,
                         ::testing::Values(PagingCase{1, {1}}, PagingCase{19, {19}},
                                           PagingCase{20, {20}}, PagingCase{21, {20, 1}},
                                           PagingCase{40, {20, 20}}, PagingCase{41, {20, 20, 1}},
                                           PagingCase{99, {20, 20, 20, 20, 19}},
                                           PagingCase{100, {20, 20, 20, 20, 20}}),
                         [](const auto& instance) {
                           return std::to_string(instance.param.users) + "Users";
                         });

TEST(PresenceCoreTable, AFullTableOfOnlineUsersRefusesANewcomer) {
  PresenceCoreRig rig;
  for (int handset = 1; handset <= 100; ++handset) rig.KeepAlive(handset);
  rig.sender().Clear();
  rig.KeepAlive(101);
  EXPECT_TRUE(rig.TakePages(101).empty());
  EXPECT_EQ(rig.server().stats().table_full, 1u);
  EXPECT_EQ(rig.server().users().size(), 100u);
  ASSERT_EQ(rig.Events("table-full").size(), 1u);
  EXPECT_TRUE(Has(rig.Events("table-full")[0], PresenceCoreRig::PhoneOf(101)));
}

TEST(PresenceCoreTable, ANewcomerTakesThePlaceOfTheUserSilentLongest) {
  PresenceCoreRig rig;
  rig.KeepAlive(1);  // silent longest
  rig.clock().Advance(1000);
  rig.KeepAlive(2);  // silent too, not as long
  rig.clock().Advance(1000);
  for (int handset = 3; handset <= 100; ++handset) rig.KeepAlive(handset);
  rig.clock().Advance(kOfflineMs);
  for (int handset = 3; handset <= 100; ++handset) rig.KeepAlive(handset);
  rig.sender().Clear();
  rig.KeepAlive(101);
  auto pages = rig.TakePages(101);
  ASSERT_EQ(pages.size(), 5u);
  EXPECT_EQ(pages[0].total, 100);
  EXPECT_EQ(PresenceCoreRig::ListedStatus(pages, 101), kStatusIdle);
  EXPECT_EQ(PresenceCoreRig::ListedStatus(pages, 1), std::nullopt);
  EXPECT_EQ(PresenceCoreRig::ListedStatus(pages, 2), kStatusOffline);
  EXPECT_EQ(rig.server().stats().table_full, 0u);
}

// --- Call requests --------------------------------------------------------------------------

enum class Callee { kIdle, kInCall, kSilent, kUnknown, kCallerItself };
enum class Outcome { kConnect, kBusy, kRefused };

struct CallCase {
  const char* name;
  bool caller_known;
  Callee callee;
  Outcome outcome;
  const char* refusal;  // the logged reason, for kRefused
};

void PrintTo(const CallCase& c, std::ostream* out) { *out << c.name; }

class CallRequestTo : public ::testing::TestWithParam<CallCase> {};

constexpr int kCaller = 1;
constexpr int kCallee = 2;

TEST_P(CallRequestTo, ConnectsAnIdleCalleeOnlyAndAnswersBusyForOneInACall) {
  const CallCase& c = GetParam();
  PresenceCoreRig rig;
  if (c.callee == Callee::kIdle || c.callee == Callee::kSilent) rig.KeepAlive(kCallee);
  if (c.callee == Callee::kInCall) rig.KeepAlive(kCallee, kStatusInCall);
  if (c.callee == Callee::kSilent) rig.clock().Advance(kOfflineMs);
  if (c.caller_known) rig.KeepAlive(kCaller);
  rig.sender().Clear();

  const std::string callee_phone = c.callee == Callee::kCallerItself
                                       ? PresenceCoreRig::PhoneOf(kCaller)
                                       : PresenceCoreRig::PhoneOf(kCallee);
  rig.CallRequest(kCaller, callee_phone);
  EXPECT_EQ(rig.server().stats().call_requests, 1u);
  auto to_caller = rig.sender().TakeFor(PresenceCoreRig::AddressOf(kCaller));
  auto to_callee = rig.sender().TakeFor(PresenceCoreRig::AddressOf(kCallee));
  EXPECT_TRUE(rig.sender().sent().empty()) << "nothing to anyone else";

  switch (c.outcome) {
    case Outcome::kConnect: {
      ASSERT_EQ(to_caller.size(), 1u);
      ASSERT_EQ(to_callee.size(), 1u);
      auto as_caller = ParseCallConnectInd(to_caller[0]);
      auto as_callee = ParseCallConnectInd(to_callee[0]);
      ASSERT_TRUE(as_caller && as_callee);
      EXPECT_TRUE(as_caller->caller());
      EXPECT_FALSE(as_callee->caller());
      EXPECT_EQ(as_caller->call_number, as_callee->call_number);
      EXPECT_EQ(as_caller->note, as_callee->note);
      EXPECT_EQ(as_caller->note.view(), "K0000ABCD-1");
      EXPECT_EQ(as_caller->peer.phone.view(), PresenceCoreRig::PhoneOf(kCallee));
      EXPECT_EQ(as_caller->peer.public_address.view(), "127.0.1.2");
      EXPECT_EQ(as_caller->peer.public_port, PresenceCoreRig::AddressOf(kCallee).port);
      EXPECT_EQ(as_caller->peer.local_address.view(), "192.168.7.1");
      EXPECT_EQ(as_caller->own_public_address.view(), "127.0.1.1");
      EXPECT_EQ(as_caller->own_public_port, PresenceCoreRig::AddressOf(kCaller).port);
      EXPECT_EQ(as_callee->peer.phone.view(), PresenceCoreRig::PhoneOf(kCaller));
      EXPECT_EQ(as_callee->own_public_address.view(), "127.0.1.2");
      EXPECT_EQ(rig.server().stats().calls_connected, 1u);
      EXPECT_EQ(rig.Events("call-connect").size(), 1u);
      break;
    }
    case Outcome::kBusy: {
      ASSERT_EQ(to_caller.size(), 1u);
      EXPECT_TRUE(to_callee.empty()) << "the callee in a call is not disturbed";
      auto busy = ParseCallAnswer(to_caller[0]);
      ASSERT_TRUE(busy);
      EXPECT_EQ(busy->type, MessageType::kCallBusyRsp);
      EXPECT_EQ(busy->phone.view(), PresenceCoreRig::PhoneOf(kCallee));
      EXPECT_EQ(busy->user_name.view(), PresenceCoreRig::NameOf(kCallee));
      EXPECT_EQ(rig.server().stats().calls_busy, 1u);
      EXPECT_EQ(rig.Events("call-busy").size(), 1u);
      break;
    }
    case Outcome::kRefused: {
      EXPECT_TRUE(to_caller.empty()) << "the handset checked first; nothing is answered";
      EXPECT_TRUE(to_callee.empty());
      EXPECT_EQ(rig.server().stats().calls_refused, 1u);
      auto refused = rig.Events("call-refused");
      ASSERT_EQ(refused.size(), 1u);
      EXPECT_TRUE(Has(refused[0], std::string("\"reason\":\"") + c.refusal + "\"")) << refused[0];
      break;
    }
  }
  const PresenceStats& stats = rig.server().stats();
  EXPECT_EQ(stats.calls_connected + stats.calls_busy + stats.calls_refused, 1u);
}

INSTANTIATE_TEST_SUITE_P(
    CallRequest, CallRequestTo,
    ::testing::Values(
        CallCase{"IdleCallee", true, Callee::kIdle, Outcome::kConnect, nullptr},
        CallCase{"CalleeInACall", true, Callee::kInCall, Outcome::kBusy, nullptr},
        CallCase{"SilentCallee", true, Callee::kSilent, Outcome::kRefused, "callee-offline"},
        CallCase{"UnknownCallee", true, Callee::kUnknown, Outcome::kRefused, "callee-unknown"},
        CallCase{"OwnNumber", true, Callee::kCallerItself, Outcome::kRefused, "own-number"},
        CallCase{"UnknownCaller", false, Callee::kIdle, Outcome::kRefused, "caller-unknown"}),
    [](const auto& instance) { return std::string(instance.param.name); });

TEST(PresenceCoreCalls, EachConnectedCallHasItsOwnNumberAndNote) {
  PresenceCoreRig rig;
  rig.KeepAlive(kCallee);
  rig.KeepAlive(kCaller);
  rig.KeepAlive(3);
  rig.sender().Clear();
  rig.CallRequest(kCaller, PresenceCoreRig::PhoneOf(kCallee));
  rig.CallRequest(3, PresenceCoreRig::PhoneOf(kCallee));  // still listed idle
  auto to_first = rig.sender().TakeFor(PresenceCoreRig::AddressOf(kCaller));
  auto to_second = rig.sender().TakeFor(PresenceCoreRig::AddressOf(3));
  ASSERT_EQ(to_first.size(), 1u);
  ASSERT_EQ(to_second.size(), 1u);
  EXPECT_EQ(rig.sender().TakeFor(PresenceCoreRig::AddressOf(kCallee)).size(), 2u);
  auto first = ParseCallConnectInd(to_first[0]);
  auto second = ParseCallConnectInd(to_second[0]);
  ASSERT_TRUE(first && second);
  EXPECT_NE(first->call_number, second->call_number);
  EXPECT_EQ(second->note.view(), "K0000ABCD-2");
}

TEST(PresenceCoreCalls, TheAnswerGoesWhereTheRequestCameFrom) {
  PresenceCoreRig rig;
  rig.KeepAlive(kCallee);
  rig.KeepAlive(kCaller);
  rig.sender().Clear();
  // The caller's address translator picked a new port since its keep-alive.
  const NetAddress moved{PresenceCoreRig::AddressOf(kCaller).ipv4, 40000};
  CallRequestFields fields;
  fields.counter = 3;
  fields.phone.Assign(PresenceCoreRig::PhoneOf(kCaller));
  fields.callee.Assign(PresenceCoreRig::PhoneOf(kCallee));
  std::vector<uint8_t> out(kMaxMessageBytes);
  out.resize(BuildCallRequest(out, fields));
  rig.Deliver(out, moved);
  auto to_moved = rig.sender().TakeFor(moved);
  ASSERT_EQ(to_moved.size(), 1u);
  auto connect = ParseCallConnectInd(to_moved[0]);
  ASSERT_TRUE(connect);
  EXPECT_EQ(connect->own_public_port, 40000);
  auto to_callee = rig.sender().TakeFor(PresenceCoreRig::AddressOf(kCallee));
  ASSERT_EQ(to_callee.size(), 1u);
  EXPECT_EQ(ParseCallConnectInd(to_callee[0])->peer.public_port, 40000);
}

}  // namespace
}  // namespace kestrelio
