// The window side of what signalling reports: each CallEvents method of call control,
// called directly, and what it does to the (fake) window.
#include <gtest/gtest.h>

#include <thread>

#include "base/timer_scale.h"
#include "call/call_control.h"
#include "tests/support/call_harness.h"

namespace kestrelio {
namespace {

using testing::CallHarness;
using testing::WaitFor;

class CallEventsWindowTest : public ::testing::Test {
 protected:
  CallControl& control() { return h.service->control(); }
  CallHarness h;
};

// --- The Calling indicator and the no-answer timer --------------------------------

TEST_F(CallEventsWindowTest, ASetUpWritesTheCallingText) {
  control().CallSetupBegun();
  EXPECT_EQ(h.window.ControlText(kControlCalling), "\nCalling.");
}

TEST_F(CallEventsWindowTest, AnAttemptRaisesTheIndicatorThenRunsTheNoAnswerTimer) {
  control().OutgoingAttemptStarting();
  EXPECT_TRUE(h.window.IsControlVisible(kControlCalling));
  EXPECT_TRUE(h.window.IsControlVisible(kControlCancel));
  EXPECT_EQ(h.window.TimerPeriod(kTimerCallingAnimation), kCallingAnimationPeriodMs);
  EXPECT_FALSE(h.window.IsTimerRunning(kTimerNoAnswer));
  EXPECT_FALSE(h.call_flags.calling);
  control().OutgoingAttemptRunning();
  EXPECT_TRUE(h.call_flags.calling);
  EXPECT_EQ(h.window.TimerPeriod(kTimerNoAnswer), ScaledPeriodMs(kNoAnswerPeriodMs));
}

TEST_F(CallEventsWindowTest, AnAnswerThatBeatTheFirstRequestLeavesTheAttemptOver) {
  control().OutgoingAttemptStarting();
  control().OutgoingAttemptAnswered();  // the answer came while the request went out
  control().OutgoingAttemptRunning();
  EXPECT_FALSE(h.call_flags.calling);
  EXPECT_FALSE(h.window.IsControlVisible(kControlCalling));
}

TEST_F(CallEventsWindowTest, AnAnsweredAttemptTakesTheIndicatorAndBothTimersDown) {
  control().OutgoingAttemptStarting();
  control().OutgoingAttemptRunning();
  control().OutgoingAttemptAnswered();
  EXPECT_FALSE(h.window.IsControlVisible(kControlCalling));
  EXPECT_FALSE(h.window.IsControlVisible(kControlCancel));
  EXPECT_FALSE(h.window.IsTimerRunning(kTimerCallingAnimation));
  EXPECT_FALSE(h.window.IsTimerRunning(kTimerNoAnswer));
  EXPECT_FALSE(h.call_flags.calling);
}

TEST_F(CallEventsWindowTest, ASessionMessageTakesOnlyTheIndicatorDown) {
  control().OutgoingAttemptStarting();
  control().OutgoingAttemptRunning();
  control().TakeDownCallingIndicator();
  EXPECT_FALSE(h.window.IsControlVisible(kControlCalling));
  EXPECT_FALSE(h.call_flags.calling);
  EXPECT_TRUE(h.window.IsTimerRunning(kTimerNoAnswer));
}

TEST_F(CallEventsWindowTest, AnIncomingCallStopsTheNoAnswerTimer) {
  control().OutgoingAttemptRunning();
  control().IncomingCallArrived();
  EXPECT_FALSE(h.window.IsTimerRunning(kTimerNoAnswer));
}

// --- Refusals and notices ---------------------------------------------------------

TEST_F(CallEventsWindowTest, RefusalsBeepAndAreWordedForTheirPath) {
  control().OutgoingAttemptRefused(AttemptRefusal::kRejected, SignallingPath::kUdp);
  control().OutgoingAttemptRefused(AttemptRefusal::kRejected, SignallingPath::kSession);
  control().OutgoingAttemptRefused(AttemptRefusal::kBusy, SignallingPath::kUdp);
  control().OutgoingAttemptRefused(AttemptRefusal::kNoAnswer, SignallingPath::kUdp);
  EXPECT_TRUE(h.window.Boxes().empty());  // the caller (the UDP thread) never waits
  h.ShowNotices();
  auto boxes = h.window.Boxes();
  ASSERT_EQ(boxes.size(), 3u);  // a "not answered" only beeps
  EXPECT_EQ(boxes[0].caption, "UDP Connection");
  EXPECT_EQ(boxes[0].text, "User is not available. Please try again later.");
  EXPECT_EQ(boxes[1].caption, "TCP Connection");
  EXPECT_EQ(boxes[1].text, "User you are trying to call is not available. Please try again later.");
  EXPECT_EQ(boxes[2].text, "The line is busy. Please try again later.");
  EXPECT_EQ(h.window.Beeps(), std::vector<BeepKind>(4, BeepKind::kExclamation));
}

TEST_F(CallEventsWindowTest, TheRemoteReleaseNoticeIsWordedForItsPath) {
  control().ShowRemoteRelease(SignallingPath::kUdp);
  control().ShowRemoteRelease(SignallingPath::kSession);
  EXPECT_TRUE(h.window.Boxes().empty());
  h.ShowNotices();
  auto boxes = h.window.Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "Call is disconnected by remote.");
  EXPECT_EQ(boxes[0].caption, "UDP Connection");
  EXPECT_EQ(boxes[1].text, "Call is disconnected by peer.");
  EXPECT_EQ(boxes[1].caption, "TCP Connection");
}

TEST_F(CallEventsWindowTest, ASendErrorBoxOfAWorkerClosesWhenTheWorkerIsStopped) {
  h.window.HoldBoxes("ERROR");
  std::stop_source stop;
  std::thread worker(
      [&] { control().ShowSendError("CallSetupReq Sending Error", stop.get_token()); });
  ASSERT_TRUE(h.window.WaitForHeldBox("ERROR", 5000));
  stop.request_stop();
  worker.join();  // would hang if the box stayed open
  auto boxes = h.window.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "CallSetupReq Sending Error");
  EXPECT_EQ(boxes[0].result, MessageBoxResult::kClosed);
}

// --- The prompt -------------------------------------------------------------------

TEST_F(CallEventsWindowTest, ThePromptRingsRunsItsTimerAndReturnsTheAnswer) {
  h.window.AnswerBoxes(kConnectionCaption, {MessageBoxResult::kYes, MessageBoxResult::kNo});
  auto yes = control().PromptIncomingCall(1, "12065550111", "Bob", {});
  EXPECT_TRUE(yes.prompted);
  EXPECT_EQ(yes.answer, PromptAnswer::kYes);
  EXPECT_FALSE(yes.timed_out);
  // The timer ran while the prompt was open and stopped as soon as it was answered.
  auto timers = h.window.TimerLog();
  ASSERT_GE(timers.size(), 2u);
  EXPECT_TRUE(timers[timers.size() - 2].started);
  EXPECT_EQ(timers[timers.size() - 2].timer_id, kTimerIncomingPrompt);
  EXPECT_EQ(timers[timers.size() - 2].period_ms, ScaledPeriodMs(kPromptPeriodMs));
  EXPECT_FALSE(timers.back().started);
  EXPECT_EQ(timers.back().timer_id, kTimerIncomingPrompt);
  EXPECT_EQ(h.devices.Vibrations().back(), RingRequest::kRing);
  EXPECT_EQ(h.devices.idle_resets, 1);  // the screen woke
  EXPECT_EQ(control().PromptIncomingCall(1, "12065550111", "Bob", {}).answer, PromptAnswer::kNo);
  auto boxes = h.window.Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "Incoming call from 12065550111 (Bob).\n\n Accept?");
  EXPECT_EQ(boxes[0].buttons, MessageBoxButtons::kYesNo);

  control().IncomingPromptOver(1, /*prompted=*/true);
  EXPECT_EQ(h.devices.Vibrations().back(), RingRequest::kIdle);
  EXPECT_FALSE(h.window.IsTimerRunning(kTimerIncomingPrompt));
}

TEST_F(CallEventsWindowTest, AnEarlierCallsPromptOverLeavesTheNextCallsTimerRunning) {
  // Call 7's prompt times out; the caller redials (call 8) before call 7's thread has
  // finished its wait; call 7's thread then reports its prompt over.
  h.window.AnswerBoxes(kConnectionCaption, {MessageBoxResult::kClosed});
  control().PromptIncomingCall(7, "12065550111", "Bob", {});
  h.window.HoldBoxes(kConnectionCaption);
  std::thread second([&] { control().PromptIncomingCall(8, "12065550111", "Bob", {}); });
  ASSERT_TRUE(h.window.WaitForHeldBox(kConnectionCaption, 5000));
  control().IncomingPromptOver(7, /*prompted=*/true);
  EXPECT_TRUE(h.window.IsTimerRunning(kTimerIncomingPrompt));
  EXPECT_EQ(h.devices.Vibrations().back(), RingRequest::kRing);
  control().OnPromptTimeout();  // call 8's timer still closes call 8's prompt
  second.join();
  EXPECT_FALSE(control().CloseIncomingPrompt());
  control().IncomingPromptOver(8, /*prompted=*/true);
  EXPECT_FALSE(h.window.IsTimerRunning(kTimerIncomingPrompt));
}

// A tick of the prompt timer that finds no open prompt owning it (its call's prompt was
// answered, cancelled or already timed out, and a later call has no prompt yet) writes
// no record, no history line and counts no missed call.
TEST_F(CallEventsWindowTest, AStaleTickOfAnEarlierCallsTimerWritesNothing) {
  h.window.AnswerBoxes(kConnectionCaption, {MessageBoxResult::kNo});
  control().PromptIncomingCall(7, "12065550111", "Bob", {});
  control().OnPromptTimeout();  // call 7's tick, after its prompt was answered
  h.window.HoldBoxes(kConnectionCaption);
  CallEvents::PromptOutcome cancelled;
  std::thread second(
      [&] { cancelled = control().PromptIncomingCall(8, "12065550111", "Bob", {}); });
  ASSERT_TRUE(h.window.WaitForHeldBox(kConnectionCaption, 5000));
  control().IncomingCallCancelled();
  second.join();
  control().OnPromptTimeout();  // call 8's tick, after its caller cancelled
  EXPECT_FALSE(cancelled.timed_out);
  EXPECT_TRUE(h.CallLog().empty());
  EXPECT_TRUE(h.History().empty());
  EXPECT_EQ(control().Snapshot().missed_calls, 0);
  EXPECT_TRUE(h.window.DialogsRun().empty());

  // The later call's prompt is open: an earlier call's tick has come and gone; this
  // call's own tick ends it as missed, once.
  h.window.HoldBoxes(kConnectionCaption);
  CallEvents::PromptOutcome missed;
  std::thread third([&] { missed = control().PromptIncomingCall(9, "12065550111", "Bob", {}); });
  ASSERT_TRUE(h.window.WaitForHeldBox(kConnectionCaption, 5000));
  control().OnPromptTimeout();
  third.join();
  control().OnPromptTimeout();  // a second tick of the same timer
  EXPECT_TRUE(missed.timed_out);
  EXPECT_EQ(missed.answer, PromptAnswer::kNotAnswered);
  EXPECT_EQ(h.CallLog().size(), 1u);
  EXPECT_EQ(h.History().size(), 1u);
}

TEST_F(CallEventsWindowTest, InSilentModeThePromptDoesNotRing) {
  h.devices.silent = true;
  h.window.AnswerBoxes(kConnectionCaption, {MessageBoxResult::kNo});
  control().PromptIncomingCall(1, "12065550111", "Bob", {});
  EXPECT_EQ(h.devices.Vibrations(), std::vector<RingRequest>{RingRequest::kIdle});
}

TEST_F(CallEventsWindowTest, AWorkersPromptClosesWhenTheWorkerIsStopped) {
  h.window.HoldBoxes(kConnectionCaption);
  std::stop_source stop;
  CallEvents::PromptOutcome outcome;
  std::thread worker(
      [&] { outcome = control().PromptIncomingCall(1, "12065550111", "Bob", stop.get_token()); });
  ASSERT_TRUE(h.window.WaitForHeldBox(kConnectionCaption, 5000));
  stop.request_stop();
  worker.join();
  EXPECT_TRUE(outcome.prompted);
  EXPECT_EQ(outcome.answer, PromptAnswer::kNotAnswered);
}

TEST_F(CallEventsWindowTest, ACancelClosesTheOpenPromptAndStopsItsTimer) {
  h.window.HoldBoxes(kConnectionCaption);
  CallEvents::PromptOutcome outcome;
  std::thread worker([&] { outcome = control().PromptIncomingCall(1, "12065550111", "Bob", {}); });
  ASSERT_TRUE(h.window.WaitForHeldBox(kConnectionCaption, 5000));
  control().IncomingCallCancelled();
  worker.join();
  EXPECT_EQ(outcome.answer, PromptAnswer::kNotAnswered);
  EXPECT_FALSE(h.window.IsTimerRunning(kTimerIncomingPrompt));
  EXPECT_FALSE(control().CloseIncomingPrompt());  // nothing left open
}

TEST_F(CallEventsWindowTest, NoPromptStacksOnAnOpenPromptOrHangUpQuestion) {
  h.window.HoldBoxes(kConnectionCaption);
  std::thread first([&] { control().PromptIncomingCall(1, "12065550111", "Bob", {}); });
  ASSERT_TRUE(h.window.WaitForHeldBox(kConnectionCaption, 5000));
  auto second = control().PromptIncomingCall(1, "12065550122", "Carol", {});
  EXPECT_FALSE(second.prompted);
  EXPECT_EQ(second.answer, PromptAnswer::kNotAnswered);
  ASSERT_TRUE(h.window.ReleaseBox(kConnectionCaption, MessageBoxResult::kNo));
  first.join();
  EXPECT_EQ(h.window.Boxes().size(), 1u);

  // The hang-up question counts as a "Connection" box too.
  h.Connect(/*caller=*/true);
  control().StartOfCall("12065550111");
  std::thread hang_up([&] { control().OnHangUp(); });
  ASSERT_TRUE(h.window.WaitForHeldBox(kConnectionCaption, 5000));
  EXPECT_FALSE(control().PromptIncomingCall(1, "12065550122", "Carol", {}).prompted);
  ASSERT_TRUE(h.window.ReleaseBox(kConnectionCaption, MessageBoxResult::kNo));
  hang_up.join();
}

TEST_F(CallEventsWindowTest, ARefusedCallAsksAQuestionBeep) {
  control().IncomingCallNotTaken();
  EXPECT_EQ(h.window.Beeps(), std::vector<BeepKind>{BeepKind::kQuestion});
}

// --- Chat and the peer picture ----------------------------------------------------

TEST_F(CallEventsWindowTest, AChatMessageBlinksTheChatKeyAndShowsItsLine) {
  h.call_flags.in_call = true;  // received lines are shown during a call only
  control().ChatMessageArrived(u"hi", /*has_text=*/true);
  EXPECT_EQ(h.window.TimerPeriod(kTimerChatBlink), kChatBlinkPeriodMs);
  EXPECT_EQ(h.service->ChatLines().size(), 1u);
  h.window.KillTimer(kTimerChatBlink);
  control().ChatMessageArrived({}, /*has_text=*/false);
  EXPECT_TRUE(h.window.IsTimerRunning(kTimerChatBlink));
  EXPECT_EQ(h.service->ChatLines().size(), 1u);
}

TEST_F(CallEventsWindowTest, APeerPauseRepaints) {
  const int before = h.window.invalidate_count();
  control().PeerPauseChanged();
  EXPECT_EQ(h.window.invalidate_count(), before + 1);
}

}  // namespace
}  // namespace kestrelio
