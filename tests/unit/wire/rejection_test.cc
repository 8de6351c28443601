// Datagrams that are short, oversized, inconsistent or carry text without a NUL are
// refused by every parser rather than read past their end.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "base/diag.h"
#include "net/wire/call_messages.h"
#include "net/wire/media_messages.h"
#include "net/wire/presence_messages.h"

namespace kestrelio {
namespace {

using Bytes = std::vector<uint8_t>;
using Parser = std::function<bool(std::span<const uint8_t>)>;

using Builder = std::function<size_t(std::span<uint8_t>)>;

struct Case {
  std::string name;
  Builder build;
  Bytes message;
  Parser parse;
  size_t min_length;                             // the end of the last field read
  std::vector<std::pair<size_t, size_t>> slots;  // text slots: offset, width
};

template <typename Build>
Bytes Make(Build build) {
  Bytes out(kMaxMessageBytes);
  size_t length = build(std::span<uint8_t>(out));
  out.resize(length);
  return out;
}

template <typename F>
Parser P(F parse) {
  return [parse](std::span<const uint8_t> d) { return bool(parse(d)); };
}

void SetLength(Bytes& message, size_t length) {
  if (message.size() >= 4) {
    message[2] = static_cast<uint8_t>(length);
    message[3] = static_cast<uint8_t>(length >> 8);
  }
}

std::vector<Case> BuildCases() {
  CallSetupFields setup{.call_id = 3,
                        .phone = "0101",
                        .public_address = "1.2.3.4",
                        .public_port = 5,
                        .user_name = "U"};
  AnswerFields answer{.type = MessageType::kCallRejectRsp, .phone = "0102", .user_name = "V"};
  KeepAliveFields keep_alive{
      .phone = "0103", .local_address = "10.0.0.1", .user_name = "W", .device_id = "ABC"};
  UserListFields list;
  list.public_address = "1.2.3.4";
  list.entry_count = 2;
  list.total = 2;
  list.entries[0] = {1, "0104", "X"};
  list.entries[1] = {2, "0105", "Y"};
  CallConnectFields connect;
  connect.role = 1;
  connect.own_public_address = "1.2.3.4";
  connect.note = "n";
  CallSetupReportFields report;
  std::vector<std::pair<size_t, size_t>> endpoint8 = {{8, 16}, {24, 20}, {46, 20}};
  return {
      {"CallSetupReq",
       Builder([=](auto o) { return BuildCallSetupReq(o, setup); }),
       Bytes(),
       P(ParseCallSetupReq),
       82,
       {{6, 16}, {22, 20}, {44, 32}}},
      {"CallSetupDummyReq",
       Builder([=](auto o) { return BuildCallSetupDummyReq(o, setup); }),
       Bytes(),
       P(ParseCallSetupDummyReq),
       82,
       {{6, 16}, {22, 20}}},
      {"CallSetupReqAck",
       Builder([=](auto o) { return BuildCallSetupReqAck(o, EchoOf(setup)); }),
       Bytes(),
       P(ParseCallSetupReqAck),
       44,
       {{6, 16}, {22, 20}}},
      {"CallSetupDummyRsp",
       Builder([=](auto o) { return BuildCallSetupDummyRsp(o, EchoOf(setup)); }),
       Bytes(),
       P(ParseCallSetupDummyRsp),
       44,
       {{6, 16}, {22, 20}}},
      {"CallRejectRsp",
       Builder([=](auto o) { return BuildCallAnswer(o, answer); }),
       Bytes(),
       P(ParseCallAnswer),
       76,
       {{6, 16}, {44, 32}}},
      {"CallReleaseReq",
       Builder([](auto o) { return BuildCallReleaseReq(o); }),
       Bytes(),
       ParseCallReleaseReq,
       6,
       {}},
      {"PacketLoss",
       Builder([](auto o) {
         return BuildPacketLoss(o, {1, 2});
       }),
       Bytes(),
       P(ParsePacketLoss),
       10,
       {}},
      {"RttProbeReq",
       Builder([](auto o) {
         return BuildRttProbeReq(o, {1, 2});
       }),
       Bytes(),
       P(ParseRttProbeReq),
       12,
       {}},
      {"RttProbeRsp",
       Builder([](auto o) {
         return BuildRttProbeRsp(o, {1, 2});
       }),
       Bytes(),
       P(ParseRttProbeRsp),
       12,
       {}},
      {"VideoPauseInd",
       Builder([](auto o) { return BuildVideoPauseInd(o, true); }),
       Bytes(),
       P(ParseVideoPauseInd),
       7,
       {}},
      {"VideoData",
       Builder([](auto o) { return BuildVideoData(o, 1, {}); }),
       Bytes(),
       P(ParseVideoData),
       10,
       {}},
      {"KeepAlive",
       Builder([=](auto o) { return BuildKeepAlive(o, keep_alive); }),
       Bytes(),
       P(ParseKeepAlive),
       116,
       {{6, 16}, {22, 20}, {44, 32}, {76, 16}, {92, 22}}},
      {"UserListInd",
       Builder([=](auto o) { return BuildUserListInd(o, list); }),
       Bytes(),
       P(ParseUserListInd),
       136,
       {{6, 20}, {38, 16}, {54, 32}, {88, 16}, {104, 32}}},
      {"CallRequest",
       Builder([](auto o) {
         return BuildCallRequest(o, {1, "0106", "0107"});
       }),
       Bytes(),
       P(ParseCallRequest),
       38,
       {{6, 16}, {22, 16}}},
      {"CallConnectInd",
       Builder([=](auto o) { return BuildCallConnectInd(o, connect); }),
       Bytes(),
       P(ParseCallConnectInd),
       112,
       {{8, 16}, {24, 20}, {46, 20}, {68, 20}, {90, 22}}},
      {"CallSetupReport",
       Builder([=](auto o) { return BuildCallSetupReport(o, report); }),
       Bytes(),
       P(ParseCallSetupReport),
       134,
       {{14, 16}, {30, 20}, {52, 20}, {74, 16}, {90, 20}, {112, 20}}},
  };
}

std::vector<Case> AllCases() {
  std::vector<Case> cases = BuildCases();
  for (Case& c : cases) c.message = Make(c.build);
  return cases;
}

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class WireRejection : public ::testing::Test {
 protected:
  DiagQuietScope quiet_;
};

// One message type of the table a test.
class WireRejectionOf : public ::testing::TestWithParam<Case> {
 protected:
  DiagQuietScope quiet_;
};

TEST_P(WireRejectionOf, SoundMessageIsAccepted) {
  const Case& c = GetParam();
  EXPECT_TRUE(c.parse(c.message));
}

TEST_P(WireRejectionOf, TruncatedMessageIsRefusedBelowItsLastField) {
  const Case& c = GetParam();
  for (size_t n = 0; n < c.message.size(); ++n) {
    // The length field is made to agree, so only the missing fields can refuse it.
    Bytes cut(c.message.begin(), c.message.begin() + static_cast<std::ptrdiff_t>(n));
    SetLength(cut, n);
    EXPECT_EQ(c.parse(cut), n >= c.min_length) << "cut to " << n;
  }
}

TEST_P(WireRejectionOf, LengthFieldMustMatchTheDatagram) {
  const Case& c = GetParam();
  Bytes m = c.message;
  SetLength(m, m.size() - 1);
  EXPECT_FALSE(c.parse(m)) << "length one short";
  SetLength(m, m.size() + 1);
  EXPECT_FALSE(c.parse(m)) << "length one long";
  Bytes extra = c.message;
  extra.push_back(0);
  EXPECT_FALSE(c.parse(extra)) << "datagram longer than its length field";
  Bytes huge = c.message;
  huge.resize(kMaxMessageBytes + 16);
  EXPECT_FALSE(c.parse(huge)) << "oversized datagram";
}

TEST_P(WireRejectionOf, WrongVersionOrTypeIsRefused) {
  const Case& c = GetParam();
  Bytes m = c.message;
  m[0] = 0x12;
  EXPECT_FALSE(c.parse(m)) << "version";
  m[0] = 0x11;
  m[1] = 0x7F;
  EXPECT_FALSE(c.parse(m)) << "type";
}

TEST_P(WireRejectionOf, TextSlotWithoutNulIsRefused) {
  const Case& c = GetParam();
  for (auto [offset, width] : c.slots) {
    Bytes m = c.message;
    std::fill_n(m.begin() + static_cast<std::ptrdiff_t>(offset), width, uint8_t{'7'});
    EXPECT_FALSE(c.parse(m)) << "slot at " << offset;
    m[offset + width - 1] = 0;  // the longest text the slot holds is fine
    EXPECT_TRUE(c.parse(m)) << "slot at " << offset;
  }
}

TEST_P(WireRejectionOf, BuilderRefusesBuffersTooSmall) {
  const Case& c = GetParam();
  for (size_t n = 0; n < c.message.size(); ++n) {
    Bytes out(n, 0xAA);
    EXPECT_EQ(c.build(out), 0u) << "into " << n << " bytes";
    EXPECT_TRUE(std::ranges::all_of(out, [](uint8_t b) { return b == 0xAA; })) << n;
  }
}

INSTANTIATE_TEST_SUITE_P(EveryMessage, WireRejectionOf, ::testing::ValuesIn(AllCases()),
                         [](const auto& instance) { return instance.param.name; });

TEST_F(WireRejection, CancelHasTwoFormsAndNothingBetween) {
  Bytes answer = Make([](auto o) {
    AnswerFields cancel;
    cancel.type = MessageType::kCallCancelReq;
    cancel.user_name = "Z";
    return BuildCallAnswer(o, cancel);
  });
  for (size_t n = 6; n <= answer.size(); ++n) {
    Bytes cut(answer.begin(), answer.begin() + static_cast<std::ptrdiff_t>(n));
    SetLength(cut, n);
    EXPECT_EQ(ParseCallCancelReq(cut).has_value(), n == 6 || n >= 76) << n;
  }
}

TEST_F(WireRejection, VideoDataCountMustMatchItsLength) {
  Bytes frame(100, 0x42);
  Bytes m = Make([&](auto o) { return BuildVideoData(o, 5, frame); });
  m[9] = 101;
  auto parsed = ParseVideoData(m);
  ASSERT_TRUE(parsed) << "still parsed so the sequence number can be checked";
  EXPECT_EQ(parsed->sequence, 5);
  EXPECT_FALSE(parsed->frame_valid);
  EXPECT_TRUE(parsed->frame.empty());
}

TEST_F(WireRejection, ChatTextNeedsANulCharacter) {
  Bytes m = Make([](auto o) { return BuildChatText(o, u"abc"); });
  m[12] = 'd';  // the NUL character
  EXPECT_FALSE(ParseChatText(m));
  Bytes empty = Make([](auto o) { return BuildChatText(o, u""); });
  empty.resize(6);
  SetLength(empty, 6);
  auto none = ParseChatText(empty);
  ASSERT_TRUE(none);
  EXPECT_FALSE(none->has_text);
  // 300 characters without a NUL among the first 256: refused, not read to the end.
  Bytes long_text = Make([](auto o) { return BuildChatText(o, u""); });
  long_text.assign(6 + 600, 'q');
  long_text[0] = 0x11;
  long_text[1] = 50;
  SetLength(long_text, long_text.size());
  long_text[long_text.size() - 2] = 0;
  long_text[long_text.size() - 1] = 0;
  EXPECT_FALSE(ParseChatText(long_text));
}

TEST_F(WireRejection, UserListNumbersOutOfRangeAreRefused) {
  UserListFields list;
  list.entry_count = 1;
  list.total = 1;
  auto with = [&](auto change) {
    UserListFields l = list;
    change(l);
    return Make([&](auto o) { return BuildUserListInd(o, l); });
  };
  EXPECT_TRUE(ParseUserListInd(with([](UserListFields&) {})));
  EXPECT_FALSE(ParseUserListInd(with([](UserListFields& l) { l.page = 0; })));
  EXPECT_FALSE(ParseUserListInd(with([](UserListFields& l) { l.page = 2; })));
  EXPECT_FALSE(ParseUserListInd(with([](UserListFields& l) { l.page = l.page_count = 6; })));
  EXPECT_FALSE(ParseUserListInd(with([](UserListFields& l) { l.total = 101; })));
  EXPECT_TRUE(ParseUserListInd(with([](UserListFields& l) { l.page = l.page_count = 5; })));
  // A page that claims more entries than it carries.
  Bytes m = with([](UserListFields&) {});
  m[32] = 2;
  EXPECT_FALSE(ParseUserListInd(m));
  m[32] = 21;
  EXPECT_FALSE(ParseUserListInd(m));
}

TEST_F(WireRejection, OtherBuildersRefuseBuffersTooSmall) {
  KeepAliveFields keep_alive;
  for (size_t n = 0; n < kKeepAliveBytes; ++n) {
    Bytes out(n, 0xAA);
    EXPECT_EQ(BuildKeepAlive(out, keep_alive), 0u) << n;
  }
  Bytes tiny(5);
  EXPECT_EQ(BuildCallCancelReq(tiny), 0u);
  EXPECT_EQ(BuildVideoPauseInd(tiny, true), 0u);
  Bytes frame(100);
  Bytes short_out(109);
  EXPECT_EQ(BuildVideoData(short_out, 1, frame), 0u);
  Bytes exact(110);
  EXPECT_EQ(BuildVideoData(exact, 1, frame), 110u);
  UserListFields list;
  list.entry_count = 21;
  Bytes big(kMaxMessageBytes);
  EXPECT_EQ(BuildUserListInd(big, list), 0u);
}

}  // namespace
}  // namespace kestrelio
