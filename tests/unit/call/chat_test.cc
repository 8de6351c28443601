#include "call/chat.h"

#include <gtest/gtest.h>

#include "tests/support/call_harness.h"

namespace kestrelio {
namespace {

using testing::CallHarness;

class ChatTest : public ::testing::Test {
 protected:
  void StartCall() {
    h.Connect(/*caller=*/true);
    h.service->control().StartOfCall("12065550111");
  }
  void Type(std::string_view text) { h.window.SetControlText(kControlChatEdit, text); }
  std::vector<testing::SentMessage> Chats() { return h.sender.SentOfType(MessageType::kChatText); }
  void Receive(std::u16string_view text) {
    std::array<uint8_t, kHeaderBytes + (kMaxChatChars + 1) * 2> out{};
    h.Deliver(std::span(out).first(BuildChatText(out, text)));
  }
  CallHarness h;
};

TEST_F(ChatTest, ASentLineCarriesTheOwnNameAndTheTextGoesOutAsUtf16) {
  StartCall();
  Type("hi Bob \xC3\xA9");
  h.service->OnChatEnter();
  ASSERT_EQ(Chats().size(), 1u);
  auto parsed = ParseChatText(Chats()[0].bytes);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->view(), u"hi Bob \u00e9");
  EXPECT_EQ(h.window.List(kControlChatList), std::vector<std::string>{"Alice> hi Bob \xC3\xA9"});
  EXPECT_EQ(h.window.ControlText(kControlChatEdit), "");
}

TEST_F(ChatTest, AnEmptyTextIsSentWithoutALine) {
  StartCall();
  Type("");
  h.service->OnCommand(kCommandSend);
  ASSERT_EQ(Chats().size(), 1u);
  EXPECT_EQ(Chats()[0].bytes.size(), 8u);  // header and the NUL character
  EXPECT_TRUE(h.window.List(kControlChatList).empty());
}

TEST_F(ChatTest, WithoutAConnectionNothingIsSentAndTheLineSaysSo) {
  Type("anyone?");
  h.service->OnCommand(kCommandSend);
  EXPECT_TRUE(Chats().empty());
  EXPECT_EQ(h.window.List(kControlChatList),
            std::vector<std::string>{"--No connection established--"});
  Type("");
  h.service->OnCommand(kCommandSend);
  EXPECT_EQ(h.window.List(kControlChatList).size(), 1u);  // an empty text adds no line
}

TEST_F(ChatTest, AFailedSendShowsThatTheMessageWasNotSent) {
  StartCall();
  h.sender.fail_ = true;
  Type("lost");
  h.service->OnCommand(kCommandSend);
  EXPECT_EQ(h.window.List(kControlChatList),
            std::vector<std::string>{"--Message could not be sent--"});
}

TEST_F(ChatTest, AHiddenChatPanelSendsNothing) {
  StartCall();
  h.window.ShowControl(kControlChatEdit, false);
  Type("hidden");
  h.service->OnCommand(kCommandSend);
  EXPECT_TRUE(Chats().empty());
  EXPECT_TRUE(h.window.List(kControlChatList).empty());
}

TEST_F(ChatTest, AReceivedLineCarriesTheChatPeerNameBuzzesAndBlinks) {
  h.service->chat().SetPeerName("Bob");
  StartCall();
  Receive(u"hello");
  EXPECT_EQ(h.window.List(kControlChatList), std::vector<std::string>{"Bob> hello"});
  EXPECT_EQ(h.service->ChatLines(), std::vector<std::string>{"Bob> hello"});
  EXPECT_EQ(h.devices.Vibrations(), std::vector<RingRequest>{RingRequest::kBuzz});
  EXPECT_TRUE(h.window.IsTimerRunning(kTimerChatBlink));
  h.devices.silent = true;
  Receive(u"again");
  EXPECT_EQ(h.devices.Vibrations(),
            (std::vector<RingRequest>{RingRequest::kBuzz, RingRequest::kIdle}));
}

TEST_F(ChatTest, ReceivedTextIsIgnoredWhenEmptyOrOutsideACall) {
  Receive(u"too early");
  EXPECT_TRUE(h.window.List(kControlChatList).empty());
  StartCall();
  const uint8_t no_text[] = {0x11, 0x32, 0x06, 0x00, 0x01, 0x00};
  h.Deliver(no_text);
  Receive(u"");
  EXPECT_TRUE(h.window.List(kControlChatList).empty());
  EXPECT_TRUE(h.devices.Vibrations().empty());
}

TEST_F(ChatTest, ALongReceivedLineIsCutToTheLineBuffer) {
  h.service->chat().SetPeerName(std::string(31, 'N'));
  StartCall();
  Receive(std::u16string(255, u'x'));
  Receive(std::u16string(255, u'y'));
  auto lines = h.window.List(kControlChatList);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].size(), 31u + 2u + 255u);  // fits
  EXPECT_EQ(ChatLine(std::string(300, 'n'), std::u16string(300, u't')).size(), kChatLineChars);
}

TEST_F(ChatTest, StartOfCallEmptiesTheHistory) {
  Type("x");
  h.service->OnCommand(kCommandSend);
  EXPECT_EQ(h.service->ChatLines().size(), 1u);
  StartCall();
  EXPECT_TRUE(h.service->ChatLines().empty());
  EXPECT_TRUE(h.window.List(kControlChatList).empty());
}

TEST_F(ChatTest, AFloodKeepsTheNewestLinesOnly) {
  h.service->chat().SetPeerName("Bob");
  StartCall();
  for (int i = 0; i < 2000; ++i) Receive(u"line " + Utf8ToUtf16(std::to_string(i), 10));
  const auto lines = h.service->ChatLines();
  ASSERT_EQ(lines.size(), kChatListMaxLines);
  EXPECT_EQ(lines.front(), "Bob> line 1500");
  EXPECT_EQ(lines.back(), "Bob> line 1999");
  const auto shown = h.window.List(kControlChatList);
  ASSERT_EQ(shown.size(), kChatListMaxLines);
  EXPECT_EQ(shown.front(), "Bob> line 1500");
  EXPECT_EQ(shown.back(), "Bob> line 1999");
}

TEST(ChatText, Utf8AndUtf16ConvertBothWaysAndBadBytesBecomeReplacements) {
  EXPECT_EQ(Utf8ToUtf16("a\xF0\x9F\x98\x80", 10), u"a\U0001F600");
  EXPECT_EQ(Utf16ToUtf8(u"a\U0001F600"), "a\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf8ToUtf16("\xFF", 10), u"\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xE2\x82", 10), u"\uFFFD");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t{0xD800})), "\xEF\xBF\xBD");
  // A pair is never split by the limit.
  EXPECT_EQ(Utf8ToUtf16("ab\xF0\x9F\x98\x80", 3), u"ab");
}

}  // namespace
}  // namespace kestrelio
