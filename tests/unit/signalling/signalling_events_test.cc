// CallSignalling on its own, with a recording CallEvents in place of call control: the
// events each message and each thread raise, in order, and the answers that come back
// from the prompt. No window is involved; the presence client gets a fake one only for
// its own needs.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "net/signalling/call_signalling.h"
#include "tests/support/call_harness.h"

namespace kestrelio {
namespace {

using testing::FakeSessions;
using testing::RecordingSender;
using testing::SentMessage;
using testing::WaitFor;

class RecordingEvents : public CallEvents {
 public:
  explicit RecordingEvents(std::mutex& connection_mutex) : connection_mutex_(connection_mutex) {}

  void StartOfCall(std::string_view peer_name) override {
    Record("StartOfCall " + std::string(peer_name));
  }
  void EndOfCall(bool /*close_decoder*/) override { Record("EndOfCall"); }
  void ShowRemoteRelease(SignallingPath path) override {
    // The notice is shown with the Connection Mutex still held by signalling.
    const bool held = !connection_mutex_.try_lock();
    if (!held) connection_mutex_.unlock();
    Record(std::string("ShowRemoteRelease ") + PathName(path) + (held ? " held" : " free"));
  }
  void CallSetupBegun() override { Record("CallSetupBegun"); }
  void OutgoingAttemptStarting() override { Record("OutgoingAttemptStarting"); }
  void OutgoingAttemptRunning() override { Record("OutgoingAttemptRunning"); }
  void OutgoingAttemptAnswered() override { Record("OutgoingAttemptAnswered"); }
  void OutgoingAttemptRefused(AttemptRefusal refusal, SignallingPath path) override {
    const char* name = refusal == AttemptRefusal::kRejected ? "rejected"
                       : refusal == AttemptRefusal::kBusy   ? "busy"
                                                            : "no answer";
    Record(std::string("OutgoingAttemptRefused ") + name + " " + PathName(path));
  }
  void TakeDownCallingIndicator() override { Record("TakeDownCallingIndicator"); }
  void IncomingCallArrived() override { Record("IncomingCallArrived"); }
  PromptOutcome PromptIncomingCall(int32_t /*call_id*/, std::string_view number,
                                   std::string_view name, std::stop_token cancel) override {
    Record("PromptIncomingCall " + std::string(number) + " " + std::string(name));
    std::unique_lock lock(mutex_);
    if (hold_prompt_) {
      prompt_waiting_ = true;
      changed_.notify_all();
      // Waits for the worker's stop request, as a box shown with its token would.
      changed_.wait(lock, cancel, [] { return false; });
      prompt_waiting_ = false;
      return {PromptAnswer::kNotAnswered, true};
    }
    return {prompt_answer_, true};
  }
  void IncomingPromptOver(int32_t /*call_id*/, bool prompted) override {
    Record(prompted ? "IncomingPromptOver prompted" : "IncomingPromptOver");
  }
  void IncomingCallNotTaken() override { Record("IncomingCallNotTaken"); }
  void IncomingCallCancelled() override { Record("IncomingCallCancelled"); }
  void ShowSendError(std::string_view text, std::stop_token cancel) override {
    Record("ShowSendError " + std::string(text) + (cancel.stop_possible() ? " worker" : ""));
  }
  void LogUnansweredCall(CallDirection direction, CallOutcome outcome,
                         std::string_view peer_name) override {
    Record(std::string("LogUnansweredCall ") +
           (direction == CallDirection::kIncoming ? "in " : "out ") +
           std::to_string(static_cast<int>(outcome)) + " " + std::string(peer_name));
  }
  void AppendHistory(std::string_view name, std::string_view number, HistoryMark) override {
    Record("AppendHistory " + std::string(name) + " " + std::string(number));
  }
  void SetPeerPictureSize(int width, int height) override {
    Record("SetPeerPictureSize " + std::to_string(width) + "x" + std::to_string(height));
  }
  void PeerPauseChanged() override { Record("PeerPauseChanged"); }
  void SetSurveyTrigger(int index) override { Record("SetSurveyTrigger " + std::to_string(index)); }
  void SetChatPeerName(std::string_view name) override {
    Record("SetChatPeerName " + std::string(name));
  }
  void ChatMessageArrived(std::u16string_view text, bool has_text) override {
    Record(has_text ? "ChatMessageArrived " + std::to_string(text.size()) : "ChatMessageArrived");
  }
  void SetLastDialledNumber(std::string_view number) override {
    Record("SetLastDialledNumber " + std::string(number));
  }

  std::vector<std::string> Log() const {
    std::lock_guard lock(mutex_);
    return log_;
  }
  bool Has(const std::string& event) const {
    std::lock_guard lock(mutex_);
    return std::find(log_.begin(), log_.end(), event) != log_.end();
  }
  // Position of the first `event` in the log; the log's size when absent.
  size_t IndexOf(const std::string& event) const {
    std::lock_guard lock(mutex_);
    return static_cast<size_t>(std::find(log_.begin(), log_.end(), event) - log_.begin());
  }
  size_t Count(const std::string& event) const {
    std::lock_guard lock(mutex_);
    return static_cast<size_t>(std::count(log_.begin(), log_.end(), event));
  }
  void AnswerPrompts(PromptAnswer answer) {
    std::lock_guard lock(mutex_);
    prompt_answer_ = answer;
  }
  void HoldPrompts() {
    std::lock_guard lock(mutex_);
    hold_prompt_ = true;
  }
  bool WaitForHeldPrompt() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(5), [&] { return prompt_waiting_; });
  }

 private:
  static const char* PathName(SignallingPath path) {
    return path == SignallingPath::kSession ? "session" : "udp";
  }
  void Record(std::string event) {
    std::lock_guard lock(mutex_);
    log_.push_back(std::move(event));
  }

  std::mutex& connection_mutex_;
  mutable std::mutex mutex_;
  std::condition_variable_any changed_;
  std::vector<std::string> log_;
  PromptAnswer prompt_answer_ = PromptAnswer::kYes;
  bool hold_prompt_ = false;
  bool prompt_waiting_ = false;
};

constexpr NetAddress kServer{0x7F000001, 8238};

std::vector<uint8_t> SetupReq(uint16_t call_id) {
  CallSetupFields fields;
  fields.call_id = call_id;
  fields.phone = "12065550111";
  fields.public_address = "127.0.0.3";
  fields.public_port = 8201;
  fields.user_name = "Bob";
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

class SignallingEventsTest : public ::testing::Test {
 protected:
  SignallingEventsTest()
      : presence_(sender_, window_, online_db_, call_flags_, identity_,
                  PresenceClientConfig{kServer, "127.0.0.2"}, nullptr),
        events_(connection_mutex_),
        signalling_(SignallingContext{sender_, presence_, peer_link_, call_flags_, view_flags_,
                                      identity_, events_, sessions_, connection_mutex_, kServer,
                                      SignallingTimings{20, 10, 5}}) {}

  void Deliver(std::span<const uint8_t> bytes, Channel channel = Channel::kUdp,
               NetAddress from = NetAddress{0x7F000003, 8200}) {
    ReceivedMessage message;
    auto header = ParseHeader(bytes);
    ASSERT_TRUE(header);
    message.header = *header;
    message.datagram = bytes;
    message.from = from;
    message.channel = channel;
    signalling_.OnControlMessage(message);
  }
  void Connect(bool caller) {
    if (caller) signalling_.SendCallRequest("12065550111");
    CallConnectFields fields;
    fields.role = caller ? 1 : 0;
    fields.peer.phone = "12065550111";
    fields.peer.public_address = "127.0.0.3";
    fields.peer.public_port = 8200;
    fields.own_public_address = "127.0.0.2";
    fields.own_public_port = 8200;
    std::array<uint8_t, kCallConnectIndBytes> out{};
    Deliver(std::span(out).first(BuildCallConnectInd(out, fields)), Channel::kUdp, kServer);
  }
  std::optional<AnswerFields> WaitForAnswer() {
    std::optional<AnswerFields> answer;
    WaitFor([&] {
      for (auto& m : sender_.Sent()) {
        if (m.bytes.size() == kCallMessageBytes && IsAnswerType(m.type())) {
          answer = ParseCallAnswer(m.bytes);
          return true;
        }
      }
      return false;
    });
    return answer;
  }

  RecordingSender sender_;
  FakeWindow window_;
  OnlineDb online_db_;
  PeerLink peer_link_;
  CallFlags call_flags_;
  ViewFlags view_flags_;
  OwnIdentity identity_{"0123456789ABCDEF0123", "12065550100", "Alice"};
  FakeSessions sessions_;
  std::mutex connection_mutex_;
  PresenceClient presence_;
  RecordingEvents events_;
  CallSignalling signalling_;
};

// --- Outgoing attempts --------------------------------------------------------------

TEST_F(SignallingEventsTest, TheCallersAttemptStartsBeforeItsFirstRequestAndRunsAfterIt) {
  Connect(/*caller=*/true);
  EXPECT_EQ(events_.Log().front(), "CallSetupBegun");
  ASSERT_TRUE(WaitFor([&] { return events_.Has("OutgoingAttemptRunning"); }));
  EXPECT_LT(events_.IndexOf("OutgoingAttemptStarting"), events_.IndexOf("OutgoingAttemptRunning"));
  EXPECT_FALSE(sender_.SentOfType(MessageType::kCallSetupReq).empty());
  // Cleared before the request went out, so an immediate answer counts.
  EXPECT_FALSE(call_flags_.cancelled);
}

TEST_F(SignallingEventsTest, TheCalleesSetUpRaisesNoAttemptEvents) {
  Connect(/*caller=*/false);
  ASSERT_TRUE(WaitFor([&] { return !sender_.SentOfType(MessageType::kCallSetupReport).empty(); }));
  EXPECT_FALSE(events_.Has("OutgoingAttemptStarting"));
  EXPECT_FALSE(events_.Has("OutgoingAttemptRunning"));
}

TEST_F(SignallingEventsTest, AnAcceptanceStartsTheCallThenClosesTheAttemptOnce) {
  Connect(/*caller=*/true);
  ASSERT_TRUE(WaitFor([&] { return events_.Has("OutgoingAttemptRunning"); }));
  Deliver(Answer(MessageType::kCallAcceptRsp));
  EXPECT_TRUE(events_.Has("SetPeerPictureSize 96x80"));
  EXPECT_LT(events_.IndexOf("StartOfCall 12065550111"), events_.IndexOf("OutgoingAttemptAnswered"));
  EXPECT_TRUE(events_.Has("AppendHistory Bob 12065550111"));
  // A repeated acceptance finds the attempt closed: dropped, no second call or line.
  Deliver(Answer(MessageType::kCallAcceptRsp));
  EXPECT_EQ(events_.Count("StartOfCall 12065550111"), 1u);
  EXPECT_EQ(events_.Count("AppendHistory Bob 12065550111"), 1u);
  EXPECT_EQ(signalling_.drops().not_current.load(), 1u);
}

TEST_F(SignallingEventsTest, ARejectionIsLoggedAndClosedBeforeItIsShown) {
  Connect(/*caller=*/true);
  ASSERT_TRUE(WaitFor([&] { return events_.Has("OutgoingAttemptRunning"); }));
  Deliver(Answer(MessageType::kCallRejectRsp));
  const size_t logged = events_.IndexOf(
      "LogUnansweredCall out " + std::to_string(static_cast<int>(CallOutcome::kRejected)) + " Bob");
  const size_t closed = events_.IndexOf("OutgoingAttemptAnswered");
  const size_t shown = events_.IndexOf("OutgoingAttemptRefused rejected udp");
  EXPECT_LT(logged, closed);
  EXPECT_LT(closed, shown);
  EXPECT_LT(shown, events_.Log().size());
}

TEST_F(SignallingEventsTest, BusyIsShownButLeavesTheAttemptRunning) {
  Connect(/*caller=*/true);
  ASSERT_TRUE(WaitFor([&] { return events_.Has("OutgoingAttemptRunning"); }));
  Deliver(Answer(MessageType::kCallBusyRsp), Channel::kUdp, kServer);
  EXPECT_TRUE(events_.Has("OutgoingAttemptRefused busy udp"));
  EXPECT_FALSE(events_.Has("OutgoingAttemptAnswered"));
}

TEST_F(SignallingEventsTest, NoAnswerClosesTheAttemptWithoutABox) {
  Connect(/*caller=*/true);
  ASSERT_TRUE(WaitFor([&] { return events_.Has("OutgoingAttemptRunning"); }));
  Deliver(Answer(MessageType::kCallNoAnswerRsp));
  EXPECT_LT(events_.IndexOf("OutgoingAttemptAnswered"),
            events_.IndexOf("OutgoingAttemptRefused no answer udp"));
}

TEST_F(SignallingEventsTest, EveryMessageFromASessionTakesTheIndicatorDown) {
  Connect(/*caller=*/true);
  ASSERT_TRUE(WaitFor([&] { return events_.Has("OutgoingAttemptRunning"); }));
  Deliver(Answer(MessageType::kCallBusyRsp), Channel::kTcp);
  EXPECT_TRUE(events_.Has("OutgoingAttemptRefused busy session"));
  EXPECT_EQ(events_.Log().back(), "TakeDownCallingIndicator");
  Deliver(Answer(MessageType::kCallBusyRsp), Channel::kUdp, kServer);
  EXPECT_EQ(events_.Count("TakeDownCallingIndicator"), 1u);
}

// --- Incoming calls ---------------------------------------------------------------

TEST_F(SignallingEventsTest, OnePromptPerCallIdAndItsYesComesBackAsTheAcceptance) {
  events_.AnswerPrompts(PromptAnswer::kYes);
  for (int i = 0; i < 3; ++i) Deliver(SetupReq(41));
  auto answer = WaitForAnswer();
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->type, MessageType::kCallAcceptRsp);
  ASSERT_TRUE(WaitFor([&] { return events_.Has("StartOfCall 12065550111"); }));
  EXPECT_EQ(events_.Count("PromptIncomingCall 12065550111 Bob"), 1u);
  EXPECT_LT(events_.IndexOf("IncomingCallArrived"),
            events_.IndexOf("PromptIncomingCall 12065550111 Bob"));
  EXPECT_TRUE(events_.Has("IncomingPromptOver prompted"));
  EXPECT_TRUE(events_.Has("SetLastDialledNumber 12065550111"));
  EXPECT_FALSE(events_.Has("IncomingCallNotTaken"));
}

TEST_F(SignallingEventsTest, ANoFromThePromptRejectsLogsAndAsksForTheSurvey) {
  events_.AnswerPrompts(PromptAnswer::kNo);
  Deliver(SetupReq(42));
  auto answer = WaitForAnswer();
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->type, MessageType::kCallRejectRsp);
  ASSERT_TRUE(WaitFor([&] { return events_.Has("AppendHistory Bob 12065550111"); }));
  EXPECT_TRUE(events_.Has("SetSurveyTrigger 3"));
  EXPECT_TRUE(events_.Has("IncomingCallNotTaken"));
  EXPECT_FALSE(events_.Has("StartOfCall 12065550111"));
}

TEST_F(SignallingEventsTest, ARunningCallIsNotInterruptedByAPrompt) {
  call_flags_.video_active = true;
  Deliver(SetupReq(43));
  auto answer = WaitForAnswer();
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->type, MessageType::kCallCancelReq);
  EXPECT_FALSE(events_.Has("PromptIncomingCall 12065550111 Bob"));
  ASSERT_TRUE(WaitFor([&] { return events_.Has("IncomingPromptOver"); }));
}

TEST_F(SignallingEventsTest, StopEndsAPromptThroughTheWorkersStopToken) {
  events_.HoldPrompts();
  Deliver(SetupReq(44));
  ASSERT_TRUE(events_.WaitForHeldPrompt());
  signalling_.Stop();  // returns only when the prompt has given up and the thread is joined
  EXPECT_TRUE(events_.Has("IncomingPromptOver prompted"));
}

TEST_F(SignallingEventsTest, ACancelAsksCallControlToCloseThePrompt) {
  events_.HoldPrompts();
  Deliver(SetupReq(46));
  ASSERT_TRUE(events_.WaitForHeldPrompt());
  std::vector<uint8_t> cancel(kHeaderBytes);
  cancel.resize(BuildCallCancelReq(cancel));
  Deliver(cancel);
  EXPECT_TRUE(events_.Has("IncomingCallCancelled"));
  signalling_.Stop();
}

TEST_F(SignallingEventsTest, ACancelWithNoCallToCancelIsDroppedUnlogged) {
  std::vector<uint8_t> cancel(kHeaderBytes);
  cancel.resize(BuildCallCancelReq(cancel));
  Deliver(cancel);
  EXPECT_FALSE(events_.Has("IncomingCallCancelled"));
  EXPECT_EQ(signalling_.drops().not_peer.load(), 1u);  // no peer named, no prompt
}

// --- Errors, release, chat, pause -------------------------------------------------

TEST_F(SignallingEventsTest, ASetUpThreadsSendErrorCarriesItsStopToken) {
  sender_.fail_ = true;
  Connect(/*caller=*/true);
  ASSERT_TRUE(
      WaitFor([&] { return events_.Has("ShowSendError CallSetupReq Sending Error worker"); }));
  signalling_.Stop();
}

TEST_F(SignallingEventsTest, TheUdpThreadsSendErrorHasNoWorkerToStop) {
  sender_.fail_ = true;
  Deliver(SetupReq(45));
  EXPECT_TRUE(events_.Has("ShowSendError CallSetupReqAck Sending Error"));
  EXPECT_FALSE(signalling_.SendCallRelease());
  EXPECT_TRUE(events_.Has("ShowSendError CallReleaseReq Sending Error"));
}

TEST_F(SignallingEventsTest, ARemoteReleaseEndsTheCallAndShowsItWithTheConnectionMutexFree) {
  Connect(/*caller=*/false);
  call_flags_.in_call = true;
  std::vector<uint8_t> release(kCallMessageBytes);
  release.resize(BuildCallReleaseReq(release));
  Deliver(release, Channel::kTcp);
  EXPECT_LT(events_.IndexOf("EndOfCall"), events_.IndexOf("ShowRemoteRelease session free"));
  EXPECT_LT(events_.IndexOf("ShowRemoteRelease session free"), events_.IndexOf("PeerPauseChanged"));
}

TEST_F(SignallingEventsTest, AReleaseWithoutACallIsDropped) {
  Connect(/*caller=*/false);
  std::vector<uint8_t> release(kCallMessageBytes);
  release.resize(BuildCallReleaseReq(release));
  Deliver(release);
  EXPECT_FALSE(events_.Has("EndOfCall"));
  EXPECT_FALSE(events_.Has("ShowRemoteRelease udp free"));
  EXPECT_FALSE(events_.Has("PeerPauseChanged"));
  EXPECT_EQ(signalling_.drops().not_in_call.load(), 1u);
}

TEST_F(SignallingEventsTest, ChatAndPauseMessagesBecomeTheirEvents) {
  Connect(/*caller=*/false);
  call_flags_.in_call = true;
  std::vector<uint8_t> chat(kHeaderBytes + 64);
  chat.resize(BuildChatText(chat, u"hello"));
  Deliver(chat);
  EXPECT_TRUE(events_.Has("ChatMessageArrived 5"));
  std::vector<uint8_t> pause(kVideoPauseIndBytes);
  BuildVideoPauseInd(pause, true);
  Deliver(pause);
  EXPECT_TRUE(view_flags_.peer_video_paused);
  EXPECT_EQ(events_.Log().back(), "PeerPauseChanged");
}

}  // namespace
}  // namespace kestrelio
