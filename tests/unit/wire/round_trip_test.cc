// Every message built and parsed back gives the fields it was built from.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "net/wire/call_messages.h"
#include "net/wire/media_messages.h"
#include "net/wire/presence_messages.h"

namespace kestrelio {
namespace {

Endpoint SampleEndpoint(int n) {
  Endpoint e;
  e.phone = n == 1 ? "01011112222" : "010333344445";
  e.local_address = n == 1 ? "10.0.0.5" : "192.168.100.200";
  e.local_port = 8200;
  e.public_address = n == 1 ? "198.51.100.17" : "203.0.113.250";
  e.public_port = static_cast<uint16_t>(n == 1 ? 40000 : 65535);
  return e;
}

class WireRoundTrip : public ::testing::Test {
 protected:
  std::span<const uint8_t> Sent(size_t length) {
    EXPECT_GT(length, 0u);
    return std::span<const uint8_t>(buffer_).first(length);
  }
  std::vector<uint8_t> buffer_ = std::vector<uint8_t>(kMaxMessageBytes);
};

TEST_F(WireRoundTrip, CallSetupMessages) {
  CallSetupFields setup{.call_id = 31337,
                        .phone = "01011112222",
                        .public_address = "198.51.100.17",
                        .public_port = 40000,
                        .user_name = "A name of thirty-one characters",
                        .video_format = 1005,
                        .video_width = 176,
                        .video_height = 144};
  EXPECT_EQ(ParseCallSetupReq(Sent(BuildCallSetupReq(buffer_, setup))), setup);

  CallSetupFields dummy = setup;
  dummy.call_id = 1;
  dummy.user_name = "";
  EXPECT_EQ(ParseCallSetupDummyReq(Sent(BuildCallSetupDummyReq(buffer_, setup))), dummy);
  EXPECT_FALSE(ParseCallSetupReq(Sent(BuildCallSetupDummyReq(buffer_, setup))))
      << "a parser takes only its own type";

  SetupEchoFields echo = EchoOf(setup);
  EXPECT_EQ(ParseCallSetupReqAck(Sent(BuildCallSetupReqAck(buffer_, echo))), echo);
  EXPECT_EQ(ParseCallSetupDummyRsp(Sent(BuildCallSetupDummyRsp(buffer_, echo))), echo);
  EXPECT_TRUE(ParseCallReleaseReq(Sent(BuildCallReleaseReq(buffer_))));
}

TEST_F(WireRoundTrip, AnswersAndCancel) {
  for (auto type :
       {MessageType::kCallAcceptRsp, MessageType::kCallRejectRsp, MessageType::kCallBusyRsp,
        MessageType::kCallNoAnswerRsp, MessageType::kCallCancelReq}) {
    AnswerFields answer{.type = type, .phone = "01055556666", .user_name = "Bo"};
    EXPECT_EQ(ParseCallAnswer(Sent(BuildCallAnswer(buffer_, answer))), answer) << int(type);
  }
  auto short_cancel = ParseCallCancelReq(Sent(BuildCallCancelReq(buffer_)));
  ASSERT_TRUE(short_cancel);
  EXPECT_FALSE(short_cancel->answer_form);
  EXPECT_TRUE(short_cancel->user_name.empty());

  AnswerFields cancel{.type = MessageType::kCallCancelReq, .phone = "0107", .user_name = "Cy"};
  auto answer_cancel = ParseCallCancelReq(Sent(BuildCallAnswer(buffer_, cancel)));
  ASSERT_TRUE(answer_cancel);
  EXPECT_TRUE(answer_cancel->answer_form);
  EXPECT_EQ(answer_cancel->user_name.view(), "Cy");
  EXPECT_EQ(answer_cancel->phone.view(), "0107");
}

TEST_F(WireRoundTrip, MediaMessages) {
  PacketLossFields loss{.received = 65535, .expected = 2};
  EXPECT_EQ(ParsePacketLoss(Sent(BuildPacketLoss(buffer_, loss))), loss);
  RttProbeFields probe{.probe_number = 77, .tick_ms = 0xDEADBEEF};
  EXPECT_EQ(ParseRttProbeReq(Sent(BuildRttProbeReq(buffer_, probe))), probe);
  EXPECT_EQ(ParseRttProbeRsp(Sent(BuildRttProbeRsp(buffer_, probe))), probe);
  EXPECT_EQ(ParseVideoPauseInd(Sent(BuildVideoPauseInd(buffer_, true))), true);
  EXPECT_EQ(ParseVideoPauseInd(Sent(BuildVideoPauseInd(buffer_, false))), false);

  std::vector<uint8_t> frame = {0, 0, 0, 1, 0x67, 0x42, 0xC0, 0x0A};
  auto video = ParseVideoData(Sent(BuildVideoData(buffer_, 65535, frame)));
  ASSERT_TRUE(video && video->frame_valid);
  EXPECT_EQ(video->sequence, 65535);
  EXPECT_TRUE(std::equal(frame.begin(), frame.end(), video->frame.begin(), video->frame.end()));
  auto empty = ParseVideoData(Sent(BuildVideoData(buffer_, 3, {})));
  ASSERT_TRUE(empty && empty->frame_valid);
  EXPECT_TRUE(empty->frame.empty());

  auto chat = ParseChatText(Sent(BuildChatText(buffer_, u"Hello \u00fc\u4e2d")));
  ASSERT_TRUE(chat && chat->has_text);
  EXPECT_EQ(chat->view(), u"Hello \u00fc\u4e2d");
  std::u16string longest(255, u'z');
  auto full = ParseChatText(Sent(BuildChatText(buffer_, longest)));
  ASSERT_TRUE(full);
  EXPECT_EQ(full->view(), longest);
}

TEST_F(WireRoundTrip, PresenceMessages) {
  KeepAliveFields keep_alive{.counter = 65535,
                             .phone = "01099998888",
                             .local_address = "255.255.255.255",
                             .local_port = 8200,
                             .user_name = "Dee",
                             .version = "1.0.5",
                             .device_id = "0123456789ABCDEF0123",
                             .status = kStatusIdle};
  EXPECT_EQ(ParseKeepAlive(Sent(BuildKeepAlive(buffer_, keep_alive))), keep_alive);

  CallRequestFields request{.counter = 4, .phone = "01011112222", .callee = "01033334444"};
  EXPECT_EQ(ParseCallRequest(Sent(BuildCallRequest(buffer_, request))), request);

  CallConnectFields connect{.call_number = 12,
                            .role = 1,
                            .peer = SampleEndpoint(2),
                            .own_public_address = "198.51.100.17",
                            .own_public_port = 40000,
                            .note = "a note of 21 letters."};
  EXPECT_EQ(ParseCallConnectInd(Sent(BuildCallConnectInd(buffer_, connect))), connect);

  CallSetupReportFields report{.counter = 5,
                               .outcome = 1,
                               .role = 1,
                               .state = 2,
                               .repetitions = 10,
                               .peer = SampleEndpoint(2),
                               .own = SampleEndpoint(1)};
  EXPECT_EQ(ParseCallSetupReport(Sent(BuildCallSetupReport(buffer_, report))), report);

  UserListFields list;
  list.word4 = 9;
  list.public_address = "198.51.100.17";
  list.public_port = 40000;
  list.page = 2;
  list.page_count = 2;
  list.total = 27;
  list.entry_count = 7;
  for (uint16_t i = 0; i < 7; ++i) {
    list.entries[i] = {static_cast<uint16_t>(i % 3), i % 2 ? "0101" : "0102",
                       i % 2 ? "odd" : "even"};
  }
  size_t length = BuildUserListInd(buffer_, list);
  EXPECT_EQ(length, 36u + 7 * 50);
  auto parsed = ParseUserListInd(Sent(length));
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->word4, 9);
  EXPECT_EQ(parsed->public_address, list.public_address);
  EXPECT_EQ(parsed->public_port, 40000);
  EXPECT_EQ(parsed->page, 2);
  EXPECT_EQ(parsed->page_count, 2);
  EXPECT_EQ(parsed->total, 27);
  ASSERT_EQ(parsed->page_entries().size(), 7u);
  EXPECT_TRUE(std::ranges::equal(parsed->page_entries(), list.page_entries()));
}

TEST(WireText, LongTextIsCutToTheSlotAndKeepsItsNul) {
  PhoneNumber phone("0123456789012345678");
  EXPECT_EQ(phone.view(), "012345678901234");
  EXPECT_EQ(phone.bytes()[15], '\0');
  EXPECT_EQ(PhoneNumber(std::string_view("12\0"
                                         "34",
                                         5))
                .view(),
            "12");
}

TEST(WirePictureSize, PeerSizeFallsBackTo96By80) {
  EXPECT_EQ(PeerPictureSize(1005, 176, 144), (PictureSize{176, 144}));
  EXPECT_EQ(PeerPictureSize(1004, 176, 144), (PictureSize{96, 80}));
  EXPECT_EQ(PeerPictureSize(1005, 0, 144), (PictureSize{96, 80}));
  EXPECT_EQ(PeerPictureSize(1005, 321, 240), (PictureSize{96, 80}));
  EXPECT_EQ(PeerPictureSize(1005, 320, 241), (PictureSize{96, 80}));
  EXPECT_EQ(PeerPictureSize(1005, 320, 240), (PictureSize{320, 240}));
}

}  // namespace
}  // namespace kestrelio
