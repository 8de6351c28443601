#include <gtest/gtest.h>

#include <random>

#include "net/signalling/call_signalling.h"
#include "tests/support/call_harness.h"

namespace kestrelio {
namespace {

using testing::CallHarness;
using testing::Columns;
using testing::SentMessage;
using testing::WaitFor;

std::vector<uint8_t> SetupReq(uint16_t call_id, uint16_t width = 96, uint16_t height = 80) {
  CallSetupFields fields;
  fields.call_id = call_id;
  fields.phone = "12065550111";
  fields.public_address = "127.0.0.3";
  fields.public_port = 8201;
  fields.user_name = "Bob";
  fields.video_width = width;
  fields.video_height = height;
  std::vector<uint8_t> out(kCallMessageBytes);
  out.resize(BuildCallSetupReq(out, fields));
  return out;
}

std::vector<uint8_t> Answer(MessageType type, std::string_view name = "Bob") {
  AnswerFields fields;
  fields.type = type;
  fields.phone = "12065550111";
  fields.user_name = name;
  std::vector<uint8_t> out(kCallMessageBytes);
  out.resize(BuildCallAnswer(out, fields));
  return out;
}

std::vector<uint8_t> ShortCancel() {
  std::vector<uint8_t> out(kHeaderBytes);
  out.resize(BuildCallCancelReq(out));
  return out;
}

class SignallingTest : public ::testing::Test {
 protected:
  std::vector<SentMessage> Sent(MessageType type) { return h.sender.SentOfType(type); }
  // Waits for the answer the incoming-call thread sends.
  std::optional<AnswerFields> WaitForAnswer() {
    std::optional<AnswerFields> answer;
    WaitFor([&] {
      for (auto& m : h.sender.Sent()) {
        if (m.bytes.size() == kCallMessageBytes && IsAnswerType(m.type())) {
          answer = ParseCallAnswer(m.bytes);
          return true;
        }
      }
      return false;
    });
    return answer;
  }
  // Waits until the incoming-call thread has written its history line.
  void WaitForHistory(size_t lines) {
    ASSERT_TRUE(WaitFor([&] { return h.History().size() >= lines; }));
  }
  void StartCall() {
    h.Connect(/*caller=*/false);
    h.service->control().StartOfCall("12065550111");
  }
  CallHarness h;
};

TEST_F(SignallingTest, ElevenRepeatedRequestsGetElevenAcksAndOnePrompt) {
  h.Connect(/*caller=*/false);
  h.window.AnswerBoxes(kConnectionCaption, {MessageBoxResult::kYes});
  const auto request = SetupReq(0x1234, 176, 144);
  // From the named peer's address through a translator that changed the port.
  for (int i = 0; i < 11; ++i) h.Deliver(request, Channel::kUdp, NetAddress{0x7F000003, 9999});
  auto acks = Sent(MessageType::kCallSetupReqAck);
  ASSERT_EQ(acks.size(), 11u);
  for (auto& ack : acks) {
    // At the endpoint the server named: not the address written inside the request.
    EXPECT_EQ(ack.to, (NetAddress{0x7F000003, 8200}));
    EXPECT_EQ(ParseCallSetupReqAck(ack.bytes)->call_id, 0x1234);
  }
  auto answer = WaitForAnswer();
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->type, MessageType::kCallAcceptRsp);
  EXPECT_EQ(answer->phone.view(), "12065550100");
  EXPECT_EQ(answer->user_name.view(), "Alice");
  ASSERT_TRUE(WaitFor([&] { return h.call_flags.in_call.load(); }));
  WaitForHistory(1);

  auto prompts = h.BoxesWithCaption(kConnectionCaption);
  ASSERT_EQ(prompts.size(), 1u);
  EXPECT_EQ(prompts[0].text, "Incoming call from 12065550111 (Bob).\n\n Accept?");
  EXPECT_EQ(h.devices.peer_width, 176);
  EXPECT_EQ(h.devices.peer_height, 144);
  EXPECT_EQ(h.service->Snapshot().last_dialled_number, "12065550111");
  EXPECT_EQ(h.service->Snapshot().peer_name, "12065550111");
  EXPECT_EQ(h.service->chat().PeerName(), "Bob");
  // The own pause state goes out before the acceptance.
  auto sent = h.sender.Sent();
  size_t pause_at = sent.size(), accept_at = sent.size();
  for (size_t i = 0; i < sent.size(); ++i) {
    if (sent[i].type() == static_cast<uint8_t>(MessageType::kVideoPauseInd) &&
        pause_at == sent.size()) {
      pause_at = i;
    }
    if (sent[i].type() == static_cast<uint8_t>(MessageType::kCallAcceptRsp)) accept_at = i;
  }
  EXPECT_LT(pause_at, accept_at);
  EXPECT_EQ(h.History()[0].substr(0, 5), "IN , ");
  EXPECT_EQ(h.devices.Vibrations().front(), RingRequest::kRing);
  EXPECT_EQ(h.devices.Vibrations().back(), RingRequest::kIdle);
}

TEST_F(SignallingTest, ACalleeInACallAnswersNotAnsweredAtOnceAndKeepsItsCall) {
  StartCall();
  h.Deliver(SetupReq(77));
  auto answer = WaitForAnswer();
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->type, MessageType::kCallCancelReq);
  EXPECT_TRUE(h.BoxesWithCaption(kConnectionCaption).empty());
  WaitForHistory(1);
  EXPECT_TRUE(h.call_flags.in_call);
  EXPECT_TRUE(h.call_flags.video_active);
  EXPECT_EQ(h.devices.decoder_opens, 1);
}

TEST_F(SignallingTest, DecliningAnswersRejectedLogsItAndAsksForTheSurvey) {
  h.Connect(/*caller=*/false);
  h.window.AnswerBoxes(kConnectionCaption, {MessageBoxResult::kNo});
  h.Deliver(SetupReq(5));
  auto answer = WaitForAnswer();
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->type, MessageType::kCallRejectRsp);
  WaitForHistory(1);
  auto log = h.CallLog();
  ASSERT_EQ(log.size(), 1u);
  auto columns = Columns(log[0]);
  ASSERT_EQ(columns.size(), 30u);
  EXPECT_EQ(columns[1], "incoming");
  EXPECT_EQ(columns[2], "rejected");
  EXPECT_EQ(columns[8], "Bob");
  EXPECT_EQ(h.devices.Surveys(), std::vector<int>{kSurveyDeclineCall});
  EXPECT_FALSE(h.call_flags.in_call);
}

TEST_F(SignallingTest, ACancelClosesTheOpenPromptWhichAnswersNotAnswered) {
  h.Connect(/*caller=*/false);
  h.window.HoldBoxes(kConnectionCaption);
  h.Deliver(SetupReq(6));
  ASSERT_TRUE(h.window.WaitForHeldBox(kConnectionCaption, 5000));
  h.Deliver(ShortCancel());
  auto answer = WaitForAnswer();
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->type, MessageType::kCallCancelReq);
  WaitForHistory(1);
  auto log = h.CallLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(Columns(log[0])[1], "incoming");
  EXPECT_EQ(Columns(log[0])[2], "cancelled");
  EXPECT_EQ(Columns(log[0])[8], "Bob");
  EXPECT_FALSE(h.call_flags.in_call);
}

TEST_F(SignallingTest, TheCallerSetsUpAndRepeatsUntilAcknowledgedThenReports) {
  h.Connect(/*caller=*/true);
  ASSERT_TRUE(WaitFor([&] { return !Sent(MessageType::kCallSetupReq).empty(); }));
  EXPECT_TRUE(h.window.IsControlVisible(kControlCalling));
  EXPECT_TRUE(h.window.IsControlVisible(kControlCancel));
  EXPECT_TRUE(h.window.IsTimerRunning(kTimerNoAnswer));
  EXPECT_TRUE(h.window.IsTimerRunning(kTimerCallingAnimation));
  EXPECT_TRUE(h.call_flags.calling);
  auto first = Sent(MessageType::kCallSetupReq)[0];
  EXPECT_EQ(first.to, (NetAddress{0x7F000003, 8200}));
  auto request = ParseCallSetupReq(first.bytes);
  ASSERT_TRUE(request);
  EXPECT_EQ(request->user_name.view(), "Alice");
  EXPECT_EQ(request->public_address.view(), "127.0.0.2");

  SetupEchoFields echo = EchoOf(*request);
  std::vector<uint8_t> ack(kCallMessageBytes);
  ack.resize(BuildCallSetupReqAck(ack, echo));
  h.Deliver(ack);
  ASSERT_TRUE(WaitFor([&] { return !Sent(MessageType::kCallSetupReport).empty(); }));
  auto report = ParseCallSetupReport(Sent(MessageType::kCallSetupReport)[0].bytes);
  ASSERT_TRUE(report);
  EXPECT_EQ(report->outcome, 1);
  EXPECT_EQ(report->role, 1);
  EXPECT_EQ(report->state, 2);
  EXPECT_LE(report->repetitions, 10);
  EXPECT_EQ(report->peer.phone.view(), "12065550111");
  EXPECT_EQ(report->own.phone.view(), "12065550100");
  EXPECT_EQ(Sent(MessageType::kCallSetupReport)[0].to, testing::kPresenceServer);
  for (auto& m : Sent(MessageType::kCallSetupReq)) {
    EXPECT_EQ(ParseCallSetupReq(m.bytes)->call_id, request->call_id);
  }
}

TEST_F(SignallingTest, AnUnansweredCalleeSendsElevenDummiesAndReportsTen) {
  h.Connect(/*caller=*/false);
  ASSERT_TRUE(WaitFor([&] { return !Sent(MessageType::kCallSetupReport).empty(); }));
  EXPECT_EQ(Sent(MessageType::kCallSetupDummyReq).size(), 11u);
  auto report = ParseCallSetupReport(Sent(MessageType::kCallSetupReport)[0].bytes);
  ASSERT_TRUE(report);
  EXPECT_EQ(report->outcome, 0);
  EXPECT_EQ(report->role, 0);
  EXPECT_EQ(report->state, 1);
  EXPECT_EQ(report->repetitions, 10);
  EXPECT_FALSE(h.window.IsControlVisible(kControlCalling));
}

TEST_F(SignallingTest, ADummyRequestIsAnsweredAtTheNamedPeerNeverAtTheAddressInsideIt) {
  CallSetupFields fields;
  fields.phone = "12065550111";
  fields.public_address = "10.9.9.9";  // a third party the sender wants flooded
  fields.public_port = 8201;
  std::vector<uint8_t> dummy(kCallMessageBytes);
  dummy.resize(BuildCallSetupDummyReq(dummy, fields));
  // No peer named yet: the answer goes back where the datagram came from.
  h.Deliver(dummy, Channel::kUdp, NetAddress{0x0A000001, 1});
  auto rsp = Sent(MessageType::kCallSetupDummyRsp);
  ASSERT_EQ(rsp.size(), 1u);
  EXPECT_EQ(rsp[0].to, (NetAddress{0x0A000001, 1}));
  // Once the server named a peer: the answer goes to it, and a stranger gets nothing.
  h.Connect(/*caller=*/true);
  h.Deliver(dummy, Channel::kUdp, NetAddress{0x7F000003, 4444});
  h.Deliver(dummy, Channel::kUdp, NetAddress{0x0A000001, 1});
  rsp = Sent(MessageType::kCallSetupDummyRsp);
  ASSERT_EQ(rsp.size(), 2u);
  EXPECT_EQ(rsp[1].to, (NetAddress{0x7F000003, 8200}));
  EXPECT_EQ(h.service->signalling().drops().not_peer.load(), 1u);
}

TEST_F(SignallingTest, ALateAcceptanceAfterCancelStartsNothing) {
  h.Connect(/*caller=*/true);
  ASSERT_TRUE(WaitFor([&] { return h.call_flags.calling.load(); }));
  h.service->OnCommand(kCommandCancel);
  EXPECT_EQ(Sent(MessageType::kCallCancelReq).size(), 1u);
  EXPECT_EQ(Sent(MessageType::kCallCancelReq)[0].bytes.size(), 6u);
  EXPECT_FALSE(h.window.IsControlVisible(kControlCalling));
  h.Deliver(Answer(MessageType::kCallAcceptRsp));
  EXPECT_FALSE(h.call_flags.in_call);
  EXPECT_EQ(h.devices.decoder_opens, 0);
  // The callee's confirming cancel logs the outgoing call as cancelled.
  h.Deliver(Answer(MessageType::kCallCancelReq));
  auto log = h.CallLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(Columns(log[0])[1], "outgoing");
  EXPECT_EQ(Columns(log[0])[2], "cancelled");
  EXPECT_EQ(Columns(log[0])[8], "Bob");
}

TEST_F(SignallingTest, AnAcceptanceStartsTheCallAndEndsTheAttempt) {
  h.Connect(/*caller=*/true);
  ASSERT_TRUE(WaitFor([&] { return h.call_flags.calling.load(); }));
  h.Deliver(Answer(MessageType::kCallAcceptRsp));
  EXPECT_TRUE(h.call_flags.in_call);
  EXPECT_FALSE(h.call_flags.calling);
  EXPECT_FALSE(h.window.IsControlVisible(kControlCalling));
  EXPECT_FALSE(h.window.IsTimerRunning(kTimerNoAnswer));
  EXPECT_EQ(h.service->Snapshot().peer_name, "12065550111");
  EXPECT_EQ(h.devices.peer_width, 96);
  ASSERT_EQ(h.History().size(), 1u);
  EXPECT_EQ(h.History()[0].substr(0, 5), "OUT, ");
  EXPECT_NE(h.History()[0].find("] Bob, 12065550111"), std::string::npos);
  // A second acceptance (a repeated datagram) starts nothing more.
  h.Deliver(Answer(MessageType::kCallAcceptRsp));
  EXPECT_EQ(h.devices.decoder_opens, 1);
}

TEST_F(SignallingTest, ARejectionIsShownLoggedAndEndsTheAttempt) {
  h.Connect(/*caller=*/true);
  ASSERT_TRUE(WaitFor([&] { return h.call_flags.calling.load(); }));
  h.Deliver(Answer(MessageType::kCallRejectRsp));
  EXPECT_TRUE(h.BoxesWithCaption("UDP Connection").empty());  // queued, not shown here
  h.ShowNotices();
  auto boxes = h.BoxesWithCaption("UDP Connection");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "User is not available. Please try again later.");
  EXPECT_FALSE(h.window.IsControlVisible(kControlCalling));
  auto log = h.CallLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(Columns(log[0])[2], "rejected");
  EXPECT_EQ(Columns(log[0])[8], "Bob");
}

TEST_F(SignallingTest, BusyIsShownButTheAttemptWaitsForItsTimer) {
  h.Connect(/*caller=*/true);
  ASSERT_TRUE(WaitFor([&] { return h.call_flags.calling.load(); }));
  h.Deliver(Answer(MessageType::kCallBusyRsp));  // from the peer: only the server says busy
  h.Deliver(Answer(MessageType::kCallBusyRsp), Channel::kUdp, testing::kPresenceServer);
  h.ShowNotices();
  ASSERT_EQ(h.BoxesWithCaption("UDP Connection").size(), 1u);
  EXPECT_EQ(h.BoxesWithCaption("UDP Connection")[0].text,
            "The line is busy. Please try again later.");
  EXPECT_TRUE(h.window.IsControlVisible(kControlCalling));
  EXPECT_TRUE(h.window.IsTimerRunning(kTimerNoAnswer));
  EXPECT_EQ(Columns(h.CallLog()[0])[2], "busy");
  EXPECT_TRUE(h.History().empty());
}

TEST_F(SignallingTest, ARemoteReleaseEndsTheCallWithItsMessage) {
  StartCall();
  h.view_flags.peer_video_paused = true;
  std::vector<uint8_t> release(kCallMessageBytes);
  release.resize(BuildCallReleaseReq(release));
  h.Deliver(release);
  EXPECT_FALSE(h.call_flags.in_call);
  EXPECT_FALSE(h.view_flags.peer_video_paused);
  h.ShowNotices();
  ASSERT_EQ(h.BoxesWithCaption("UDP Connection").size(), 1u);
  EXPECT_EQ(h.BoxesWithCaption("UDP Connection")[0].text, "Call is disconnected by remote.");
  EXPECT_EQ(h.CallLog().size(), 1u);
  EXPECT_TRUE(h.connection_mutex.try_lock());
  h.connection_mutex.unlock();
  // Without a call a release shows nothing.
  h.Deliver(release);
  h.ShowNotices();
  EXPECT_EQ(h.BoxesWithCaption("UDP Connection").size(), 1u);
}

TEST_F(SignallingTest, ThePeerPauseFlagFollowsItsIndication) {
  StartCall();
  std::vector<uint8_t> pause(kVideoPauseIndBytes);
  BuildVideoPauseInd(pause, true);
  h.Deliver(pause);
  EXPECT_TRUE(h.view_flags.peer_video_paused);
  BuildVideoPauseInd(pause, false);
  h.Deliver(pause);
  EXPECT_FALSE(h.view_flags.peer_video_paused);
}

TEST_F(SignallingTest, AControlSessionDiffersFromUdp) {
  h.Connect(/*caller=*/true);
  ASSERT_TRUE(WaitFor([&] { return h.call_flags.calling.load(); }));
  // A request read from a session is not acknowledged.
  h.window.AnswerBoxes(kConnectionCaption, {MessageBoxResult::kNo});
  h.Deliver(SetupReq(9), Channel::kTcp);
  EXPECT_TRUE(Sent(MessageType::kCallSetupReqAck).empty());
  h.Deliver(Answer(MessageType::kCallRejectRsp), Channel::kTcp);
  h.ShowNotices();
  ASSERT_EQ(h.BoxesWithCaption("TCP Connection").size(), 1u);
  EXPECT_EQ(h.BoxesWithCaption("TCP Connection")[0].text,
            "User you are trying to call is not available. Please try again later.");
  // Presence messages are not taken from a session.
  const int threads = h.service->signalling().threads_started();
  CallConnectFields connect;
  connect.role = 1;
  std::vector<uint8_t> bytes(kCallConnectIndBytes);
  bytes.resize(BuildCallConnectInd(bytes, connect));
  h.Deliver(bytes, Channel::kTcp);
  EXPECT_EQ(h.service->signalling().threads_started(), threads);
}

// Truncated, padded and garbage messages of every type during a call: each is dropped
// (or, where it is still a sound message, handled), and the call goes on.
TEST_F(SignallingTest, MalformedMessagesOfEveryTypeAreDroppedAndTheCallGoesOn) {
  StartCall();
  const size_t boxes_before = h.window.Boxes().size();
  const int threads_before = h.service->signalling().threads_started();
  std::vector<std::vector<uint8_t>> samples = {
      SetupReq(1), Answer(MessageType::kCallAcceptRsp), Answer(MessageType::kCallRejectRsp),
      Answer(MessageType::kCallBusyRsp), Answer(MessageType::kCallNoAnswerRsp)};
  std::mt19937 random(1234);
  int delivered = 0;
  for (int type = 0; type < 256; ++type) {
    // A release reads nothing past its header, and a bare cancel is a sound message:
    // both act whatever follows.
    if (type == 17 || type == 52) continue;
    for (size_t length : {6, 7, 10, 12, 37, 44, 75, 81, 105, 111, 135, 300}) {
      std::vector<uint8_t> bytes(length);
      for (auto& b : bytes) b = static_cast<uint8_t>(random() | 1);  // no NUL anywhere
      bytes[0] = kWireVersion;
      bytes[1] = static_cast<uint8_t>(type);
      bytes[2] = static_cast<uint8_t>(length);
      bytes[3] = static_cast<uint8_t>(length >> 8);
      h.Deliver(bytes);
      ++delivered;
    }
  }
  // Sound messages cut before their last field, with the length field made to agree.
  for (const auto& sample : samples) {
    for (size_t cut = kHeaderBytes; cut < 76; cut += 5) {  // shorter than the fields read
      std::vector<uint8_t> bytes(sample.begin(), sample.begin() + static_cast<long>(cut));
      bytes[2] = static_cast<uint8_t>(cut);
      bytes[3] = 0;
      h.Deliver(bytes);
      ++delivered;
    }
  }
  EXPECT_GT(delivered, 3000);
  for (auto& box : h.window.Boxes()) ADD_FAILURE() << box.caption << ": " << box.text;
  EXPECT_TRUE(h.call_flags.in_call);
  EXPECT_TRUE(h.call_flags.video_active);
  EXPECT_EQ(h.devices.decoder_opens, 1);
  EXPECT_EQ(h.window.Boxes().size(), boxes_before);
  EXPECT_EQ(h.service->signalling().threads_started(), threads_before);
  EXPECT_TRUE(h.CallLog().empty());
}

TEST_F(SignallingTest, APromptTimeoutAnswersNotAnsweredAndCountsAMissedCall) {
  h.Connect(/*caller=*/false);
  h.window.HoldBoxes(kConnectionCaption);
  h.Deliver(SetupReq(8));
  ASSERT_TRUE(h.window.WaitForHeldBox(kConnectionCaption, 5000));
  EXPECT_TRUE(h.window.IsTimerRunning(kTimerIncomingPrompt));
  h.service->OnTimer(kTimerIncomingPrompt);  // the dialog is unscripted: closed at once
  auto answer = WaitForAnswer();
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->type, MessageType::kCallCancelReq);
  WaitForHistory(2);
  auto history = h.History();
  EXPECT_EQ(history[0].substr(0, 3), "IN*");  // the timer's line
  EXPECT_EQ(history[1].substr(0, 3), "IN ");  // the answer's line
  EXPECT_NE(history[0].find("Bob, 12065550111"), std::string::npos);
  auto log = h.CallLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(Columns(log[0])[2], "missed");
  EXPECT_EQ(h.window.DialogsRun(), std::vector<int>{kMissedCallDialog});
}

TEST_F(SignallingTest, ASecondCallerWhilePromptedIsNotAnsweredWithoutASecondPrompt) {
  h.window.HoldBoxes(kConnectionCaption);
  h.Deliver(SetupReq(10));
  ASSERT_TRUE(h.window.WaitForHeldBox(kConnectionCaption, 5000));
  h.Deliver(SetupReq(11));
  auto answer = WaitForAnswer();
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->type, MessageType::kCallCancelReq);
  ASSERT_TRUE(h.window.ReleaseBox(kConnectionCaption, MessageBoxResult::kNo));
  ASSERT_TRUE(WaitFor([&] { return !Sent(MessageType::kCallRejectRsp).empty(); }));
  EXPECT_EQ(h.BoxesWithCaption(kConnectionCaption).size(), 1u);
}

TEST_F(SignallingTest, WithAControlSessionOpenAnUnansweredPromptRepliesNoAnswer) {
  h.sessions.open = true;
  h.Connect(/*caller=*/false);
  StartCall();  // a running call: no prompt
  h.Deliver(SetupReq(12));
  auto answer = WaitForAnswer();
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->type, MessageType::kCallNoAnswerRsp);
  WaitForHistory(1);
  EXPECT_EQ(h.History()[0].substr(0, 3), "IN*");
  ASSERT_TRUE(WaitFor([&] { return h.sessions.restores.load() == 1; }));
  auto log = h.CallLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(Columns(log[0])[2], "missed");
  EXPECT_EQ(Columns(log[0])[8], "Alice");
  EXPECT_EQ(h.sessions.closes, 1);
}

TEST_F(SignallingTest, StopClosesAnOpenPromptAndJoins) {
  h.window.HoldBoxes(kConnectionCaption);
  h.Deliver(SetupReq(3));
  ASSERT_TRUE(h.window.WaitForHeldBox(kConnectionCaption, 5000));
  h.service->signalling().Stop();
  EXPECT_TRUE(h.service->signalling().threads_started() == 1);
}

}  // namespace
}  // namespace kestrelio
