#include "call/call_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "call/dial.h"
#include "tests/support/call_harness.h"

namespace kestrelio {
namespace {

using testing::CallHarness;
using testing::Columns;

UserListFields Page(std::vector<UserListEntry> entries) {
  UserListFields page;
  page.public_address = "127.0.0.2";
  page.public_port = 8200;
  page.page = 1;
  page.page_count = 1;
  page.total = static_cast<uint16_t>(entries.size());
  page.entry_count = static_cast<uint16_t>(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) page.entries[i] = entries[i];
  return page;
}

TEST(DialLookup, TenDigitsGetALeadingOneElevenAreTakenAsTypedOthersAreNotNumbers) {
  EXPECT_EQ(DialLookupNumber("2065550111"), "12065550111");
  EXPECT_EQ(DialLookupNumber("12065550111"), "12065550111");
  EXPECT_EQ(DialLookupNumber("206555011"), std::nullopt);
  EXPECT_EQ(DialLookupNumber("120655501112"), std::nullopt);
  EXPECT_EQ(DialLookupNumber(""), std::nullopt);
}

TEST(DialLookup, DecisionFollowsTheOnlineDb) {
  OnlineDb db;
  db.TakePage(Page({{1, "12065550111", "Bob"}, {0, "12065550122", "Carol"}}));
  EXPECT_EQ(DecideDial("2065550111", db).outcome, DialOutcome::kPlaceCall);
  EXPECT_EQ(DecideDial("2065550111", db).name, "Bob");
  EXPECT_EQ(DecideDial("12065550122", db).outcome, DialOutcome::kNotOnline);
  EXPECT_EQ(DecideDial("206555011", db).outcome, DialOutcome::kNotAvailable);
  EXPECT_EQ(DecideDial("12065550199", db).outcome, DialOutcome::kNotAvailable);
  EXPECT_EQ(DecideDial("127.0.0.3", db).outcome, DialOutcome::kNoCall);
}

class DialDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    h.online_db.TakePage(Page({{1, "12065550111", "Bob"}, {0, "12065550122", "Carol"}}));
  }
  // Types `text` into the dial dialog and presses "Sign".
  void Dial(const std::string& text) {
    h.window.ScriptDialog(kDialDialog, [text](FakeDialog& d, DialogController& c) {
      d.SetText(kDialEdit, text);
      c.OnCommand(d, kDialSign);
      if (!d.ended()) c.OnCommand(d, kDialCancel);
    });
    h.service->OnCommand(kCommandDial);
  }
  std::vector<testing::SentMessage> CallRequests() {
    return h.sender.SentOfType(MessageType::kCallRequest);
  }
  CallHarness h;
};

TEST_F(DialDialogTest, TenDigitsPlaceACallToTheListedNumberAndRememberIt) {
  Dial("2065550111");
  auto requests = CallRequests();
  ASSERT_EQ(requests.size(), 1u);
  auto request = ParseCallRequest(requests[0].bytes);
  ASSERT_TRUE(request);
  EXPECT_EQ(request->callee.view(), "12065550111");
  EXPECT_EQ(request->phone.view(), "12065550100");
  EXPECT_EQ(request->counter, 0);
  EXPECT_EQ(requests[0].to, testing::kPresenceServer);
  EXPECT_EQ(h.service->Snapshot().last_dialled_number, "12065550111");
  EXPECT_EQ(h.service->Snapshot().last_dialled_name, "Bob");

  // The next dial dialog starts with that number, and the counter has moved on.
  std::string initial;
  h.window.ScriptDialog(kDialDialog, [&](FakeDialog& d, DialogController& c) {
    initial = d.Text(kDialEdit);
    c.OnCommand(d, kDialSign);
  });
  h.service->OnCommand(kCommandDial);
  EXPECT_EQ(initial, "12065550111");
  ASSERT_EQ(CallRequests().size(), 2u);
  EXPECT_EQ(ParseCallRequest(CallRequests()[1].bytes)->counter, 1);
}

TEST_F(DialDialogTest, NineDigitsAreNotAvailableAndPlaceNoCall) {
  Dial("206555011");
  EXPECT_TRUE(CallRequests().empty());
  auto boxes = h.BoxesWithCaption("Call");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "The phone number you typed is not available.");
}

TEST_F(DialDialogTest, AnOfflineEntryIsNotOnline) {
  Dial("12065550122");
  EXPECT_TRUE(CallRequests().empty());
  ASSERT_EQ(h.BoxesWithCaption("Call").size(), 1u);
  EXPECT_EQ(h.BoxesWithCaption("Call")[0].text, "The phone number you typed is not online.");
}

TEST_F(DialDialogTest, ADottedAddressClosesTheDialogAndPlacesNoCall) {
  Dial("127.0.0.3");
  EXPECT_TRUE(CallRequests().empty());
  EXPECT_TRUE(h.window.Boxes().empty());
}

TEST_F(DialDialogTest, AnEmptyNumberKeepsTheDialogOpenWithAMessage) {
  bool ended_by_sign = true;
  h.window.ScriptDialog(kDialDialog, [&](FakeDialog& d, DialogController& c) {
    d.SetText(kDialEdit, "");
    c.OnCommand(d, kDialSign);
    ended_by_sign = d.ended();
    c.OnCommand(d, kDialVrs);  // no action
    EXPECT_FALSE(d.ended());
    c.OnCommand(d, kDialCancel);
  });
  h.service->OnCommand(kCommandDial);
  EXPECT_FALSE(ended_by_sign);
  ASSERT_EQ(h.BoxesWithCaption("Phone").size(), 1u);
  EXPECT_EQ(h.BoxesWithCaption("Phone")[0].text, "No phone number was entered!");
  EXPECT_TRUE(CallRequests().empty());
}

TEST_F(DialDialogTest, DialDuringACallIsRefused) {
  h.service->control().StartOfCall("12065550111");
  h.service->OnCommand(kCommandDial);
  EXPECT_TRUE(h.window.DialogsRun().empty());
  ASSERT_FALSE(h.window.Boxes().empty());
  EXPECT_EQ(h.window.Boxes().back().text, "Connection is active! Please disconnect first.");
}

TEST(EndOfCallSurvey, ThirtyTicksIsACallTwentyNineIsShortPausedIsPrivacy) {
  EXPECT_EQ(EndOfCallSurveyTrigger(29, false), kSurveyAfterCallShort);
  EXPECT_EQ(EndOfCallSurveyTrigger(29, true), kSurveyAfterCallShort);
  EXPECT_EQ(EndOfCallSurveyTrigger(30, false), kSurveyAfterCall);
  EXPECT_EQ(EndOfCallSurveyTrigger(30, true), kSurveyAfterCallPrivacy);
  EXPECT_EQ(EndOfCallSurveyTrigger(0, false), kSurveyAfterCallShort);
}

class ConnectedCallTest : public ::testing::Test {
 protected:
  void StartCall() {
    h.Connect(/*caller=*/true);
    h.service->control().StartOfCall("12065550111");
  }
  void Ticks(int n) {
    for (int i = 0; i < n; ++i) h.service->OnTimer(kTimerStatusTick);
  }
  void EndCall() {
    std::lock_guard lock(h.connection_mutex);
    h.service->control().EndOfCall(true);
  }
  std::string StatusLine() { return h.window.ControlText(kControlStatusLine); }
  CallHarness h;
};

TEST_F(ConnectedCallTest, StatusLineBeforeDuringAndAfterACall) {
  h.service->control().RefreshStatusLine();
  EXPECT_EQ(StatusLine(), "Disconnected, 0:00, 87%");
  StartCall();
  EXPECT_TRUE(h.call_flags.in_call);
  EXPECT_TRUE(h.window.IsTimerRunning(kTimerStatusTick));
  EXPECT_TRUE(h.window.IsTimerRunning(kTimerNetworkLoss));
  Ticks(64);
  {
    std::lock_guard lock(h.devices.mutex);
    h.devices.next_second = MediaSecond{12, 3456, 11, 3000, 2};
  }
  Ticks(1);
  EXPECT_EQ(StatusLine(), "to 12065550111, 1:05, 12 fps, 3456 bytes, 2, 87%");
  EndCall();
  EXPECT_EQ(StatusLine(), "Disconnected, 1:05, 87%");
  EXPECT_FALSE(h.window.IsTimerRunning(kTimerStatusTick));
  EXPECT_FALSE(h.window.IsTimerRunning(kTimerNetworkLoss));
  EXPECT_FALSE(h.window.IsTimerRunning(kTimerIdleReset));
}

TEST_F(ConnectedCallTest, EndOfCallWritesOneThirtyColumnRecordAndChoosesTheSurvey) {
  StartCall();
  for (int i = 0; i < 30; ++i) {
    {
      std::lock_guard lock(h.devices.mutex);
      h.devices.next_second = MediaSecond{10, 1000, 9, 900, i == 7 ? 1u : 0u};
    }
    Ticks(1);
  }
  EndCall();
  EXPECT_EQ(h.devices.encoder_stops, 1);
  EXPECT_EQ(h.devices.decoder_closes, 1);
  EXPECT_EQ(h.devices.backlight, 0);
  auto log = h.CallLog();
  ASSERT_EQ(log.size(), 1u);
  auto columns = Columns(log[0]);
  ASSERT_EQ(columns.size(), 30u);
  EXPECT_EQ(columns[0], "0123456789ABCDEF0123");
  EXPECT_EQ(columns[1], "OUTGOING");
  EXPECT_EQ(columns[4], "12065550100");
  EXPECT_EQ(columns[7], "call-7");
  EXPECT_EQ(columns[9], "12065550111");
  EXPECT_EQ(columns[10], "127.0.0.3");
  EXPECT_EQ(columns[12], "30");
  EXPECT_EQ(columns[17], "1");  // the lost packet, added on the fifth tick after it
  EXPECT_EQ(columns[28], "87");
  // Thirty ticks or more: event 0; a second end of call finds no call and logs nothing.
  EXPECT_EQ(h.devices.Surveys(), std::vector<int>{kSurveyAfterCall});
}

TEST_F(ConnectedCallTest, AShortPausedCallTriggersTheShortSurvey) {
  StartCall();
  h.view_flags.own_video_paused = true;
  h.service->OnCommand(kCommandPause);
  auto pauses = h.sender.SentOfType(MessageType::kVideoPauseInd);
  ASSERT_EQ(pauses.size(), 1u);
  EXPECT_EQ(pauses[0].bytes.back(), '1');
  Ticks(29);
  EndCall();
  EXPECT_EQ(h.devices.Surveys(), std::vector<int>{kSurveyAfterCallShort});
}

TEST_F(ConnectedCallTest, ALongPausedCallTriggersThePrivacySurvey) {
  StartCall();
  h.view_flags.own_video_paused = true;
  h.service->OnCommand(kCommandPause);
  Ticks(30);
  EndCall();
  EXPECT_EQ(h.devices.Surveys(), std::vector<int>{kSurveyAfterCallPrivacy});
}

TEST_F(ConnectedCallTest, EveryFifthTickSendsARoundTripProbe) {
  StartCall();
  Ticks(10);
  auto probes = h.sender.SentOfType(MessageType::kRttProbeReq);
  ASSERT_EQ(probes.size(), 2u);
  EXPECT_EQ(ParseRttProbeReq(probes[0].bytes)->probe_number, 1);
  EXPECT_EQ(ParseRttProbeReq(probes[1].bytes)->probe_number, 2);
}

TEST_F(ConnectedCallTest, HangUpAskedAndAnsweredYesReleasesTheCall) {
  StartCall();
  h.window.AnswerBoxes("Connection", {MessageBoxResult::kYes});
  h.service->OnCommand(kCommandHangUp);
  EXPECT_FALSE(h.call_flags.in_call);
  ASSERT_EQ(h.sender.SentOfType(MessageType::kCallReleaseReq).size(), 1u);
  EXPECT_EQ(h.sender.SentOfType(MessageType::kCallReleaseReq)[0].to,
            (NetAddress{0x7F000003, 8200}));
  EXPECT_EQ(h.CallLog().size(), 1u);
  // The mutex is free again.
  EXPECT_TRUE(h.connection_mutex.try_lock());
  h.connection_mutex.unlock();
}

TEST_F(ConnectedCallTest, HangUpAnsweredNoKeepsTheCallAndWithoutACallAsksNothing) {
  StartCall();
  h.window.AnswerBoxes("Connection", {MessageBoxResult::kNo});
  h.service->OnCommand(kCommandHangUp);
  EXPECT_TRUE(h.call_flags.in_call);
  EXPECT_TRUE(h.sender.SentOfType(MessageType::kCallReleaseReq).empty());
  EndCall();
  const size_t boxes = h.window.Boxes().size();
  h.service->OnCommand(kCommandHangUp);
  EXPECT_EQ(h.window.Boxes().size(), boxes);
  EXPECT_TRUE(h.connection_mutex.try_lock());
  h.connection_mutex.unlock();
}

TEST_F(ConnectedCallTest, NetworkLossWaitsOutTheLastVideoThenEndsTheCallWithItsMessage) {
  StartCall();
  const int period = ScaledPeriodMs(kNetworkLossPeriodMs);
  // Video heard a moment ago: the expiry only re-arms for what is left of the period.
  h.network_loss.Stamp(TickCountMs() - 1000);
  h.service->OnTimer(kTimerNetworkLoss);
  EXPECT_TRUE(h.call_flags.in_call);
  ASSERT_TRUE(h.window.IsTimerRunning(kTimerNetworkLoss));
  EXPECT_LE(h.window.TimerPeriod(kTimerNetworkLoss), period - 1000);
  EXPECT_GE(h.window.TimerPeriod(kTimerNetworkLoss), period - 1200);
  EXPECT_TRUE(h.BoxesWithCaption("Disconnect").empty());

  h.SilenceVideo();
  h.service->OnTimer(kTimerNetworkLoss);
  EXPECT_FALSE(h.call_flags.in_call);
  ASSERT_EQ(h.BoxesWithCaption("Disconnect").size(), 1u);
  EXPECT_EQ(h.BoxesWithCaption("Disconnect")[0].text, "Call was disconnected from network");
  EXPECT_EQ(h.CallLog().size(), 1u);
  // A second expiry finds no call.
  h.service->OnTimer(kTimerNetworkLoss);
  EXPECT_EQ(h.BoxesWithCaption("Disconnect").size(), 1u);
}

TEST_F(ConnectedCallTest, NetworkLossWaitsForAWorkerHoldingTheConnectionMutex) {
  StartCall();
  std::unique_lock worker_lock(h.connection_mutex);
  auto network_loss_kills = [&] {
    const auto log = h.window.TimerLog();
    return std::count_if(log.begin(), log.end(), [](const FakeWindow::TimerEvent& event) {
      return !event.started && event.timer_id == kTimerNetworkLoss;
    });
  };
  const auto kills_before = network_loss_kills();
  h.SilenceVideo();
  std::thread gui([&] { h.service->OnTimer(kTimerNetworkLoss); });
  // The expiry kills its timer first, then asks for the mutex.
  ASSERT_TRUE(testing::WaitFor([&] { return network_loss_kills() > kills_before; }));
  EXPECT_TRUE(h.call_flags.in_call);  // still waiting
  worker_lock.unlock();
  gui.join();
  EXPECT_FALSE(h.call_flags.in_call);
}

TEST_F(ConnectedCallTest, ADecoderThatCannotOpenLeavesACallWithoutMedia) {
  h.devices.decoder_opens_ok = false;
  StartCall();
  EXPECT_FALSE(h.call_flags.in_call);
  EXPECT_FALSE(h.call_flags.video_active);
  EXPECT_FALSE(h.window.IsTimerRunning(kTimerStatusTick));
  h.ShowNotices();
  ASSERT_EQ(h.BoxesWithCaption("Error").size(), 1u);
  EXPECT_EQ(h.BoxesWithCaption("Error")[0].text, "Decoder Open Error");
}

// Opens call `call_id`'s prompt on a thread of its own and fires its timer, as timer 139
// does while the prompt waits.
void PromptTimesOut(CallHarness& h, int32_t call_id) {
  h.window.HoldBoxes(kConnectionCaption);
  std::thread prompt(
      [&] { h.service->control().PromptIncomingCall(call_id, "12065550111", "Bob", {}); });
  ASSERT_TRUE(h.window.WaitForHeldBox(kConnectionCaption, 5000));
  h.service->OnTimer(kTimerIncomingPrompt);
  prompt.join();
}

TEST(MissedCalls, PromptTimeoutsCountAndShowTheMissedCallDialog) {
  CallHarness h;
  std::vector<std::string> texts;
  int depth = 0;
  h.window.ScriptDialog(kMissedCallDialog, [&](FakeDialog& d, DialogController& c) {
    texts.push_back(d.Text(kMissedCallText));
    if (depth++ == 0) {
      // A second missed call while the dialog is open updates it in place.
      PromptTimesOut(h, 2);
      texts.push_back(d.Text(kMissedCallText));
    }
    c.OnCommand(d, kMissedCallDismiss);
  });
  PromptTimesOut(h, 1);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0], "You have 1 missed call");
  EXPECT_EQ(texts[1], "You have 2 missed calls");
  EXPECT_EQ(h.window.DialogsRun().size(), 1u);
  EXPECT_EQ(h.service->Snapshot().missed_calls, 0);  // dismissed
  EXPECT_EQ(h.devices.Surveys(), std::vector<int>{kSurveyMissedCall});
  auto log = h.CallLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(Columns(log[0])[1], "incoming");
  EXPECT_EQ(Columns(log[0])[2], "missed");
  EXPECT_EQ(Columns(log[0])[8], "Alice");  // the own user name
  EXPECT_EQ(h.History().size(), 2u);
  EXPECT_EQ(h.History()[0].substr(0, 3), "IN*");
}

TEST(MissedCalls, ClosingTheDialogOtherwiseClearsTheCountWithoutASurvey) {
  CallHarness h;
  PromptTimesOut(h, 1);  // the dialog is unscripted: opened and closed
  EXPECT_EQ(h.service->Snapshot().missed_calls, 0);
  EXPECT_TRUE(h.devices.Surveys().empty());
  std::optional<std::array<int, 4>> portrait, landscape;
  h.window.SetClientSize(240, 320);
  h.window.ScriptDialog(kMissedCallDialog, [&](FakeDialog& d, DialogController& c) {
    portrait = d.placement();
    // Turned while open: placed again over the new client area.
    h.window.SetClientSize(320, 240);
    c.OnOwnerResized(d);
    landscape = d.placement();
  });
  PromptTimesOut(h, 2);
  ASSERT_TRUE(portrait && landscape);
  EXPECT_EQ(*portrait, (std::array<int, 4>{40, 150, 170, 100}));   // portrait: H - 170
  EXPECT_EQ(*landscape, (std::array<int, 4>{80, 120, 170, 100}));  // landscape: H - 120
  EXPECT_EQ(h.service->Snapshot().missed_calls, 0);
  EXPECT_TRUE(h.devices.Surveys().empty());
  EXPECT_EQ(h.window.DialogsRun(), (std::vector<int>{kMissedCallDialog, kMissedCallDialog}));
}

TEST(MissedCalls, SeeHistoryClearsTheCountSetsTheSurveyAndOpensTheHistory) {
  CallHarness h;
  h.window.ScriptDialog(kMissedCallDialog, [](FakeDialog& d, DialogController& c) {
    c.OnCommand(d, kMissedCallSeeHistory);
  });
  PromptTimesOut(h, 1);
  PromptTimesOut(h, 2);
  EXPECT_EQ(h.service->Snapshot().missed_calls, 0);
  EXPECT_EQ(h.devices.Surveys(), (std::vector<int>{kSurveyMissedCall, kSurveyMissedCall}));
}

TEST(NoAnswer, TheTimerEndsTheAttemptLogsAndTellsTheUser) {
  CallHarness h;
  h.online_db.TakePage(Page({{1, "12065550111", "Bob"}}));
  h.window.ScriptDialog(kDialDialog, [](FakeDialog& d, DialogController& c) {
    d.SetText(kDialEdit, "12065550111");
    c.OnCommand(d, kDialSign);
  });
  // The last attempt's animation ended on its third text.
  h.window.SetControlText(kControlCalling, kCallingTexts[2]);
  h.service->OnCommand(kCommandDial);
  h.Connect(/*caller=*/true);
  ASSERT_TRUE(testing::WaitFor([&] { return h.window.IsControlVisible(kControlCalling); }));
  EXPECT_EQ(h.window.ControlText(kControlCalling), kCallingTexts[0]);
  h.service->OnTimer(kTimerNoAnswer);
  EXPECT_TRUE(h.call_flags.cancelled);
  EXPECT_FALSE(h.call_flags.calling);
  EXPECT_FALSE(h.window.IsControlVisible(kControlCalling));
  ASSERT_EQ(h.BoxesWithCaption("Dial").size(), 1u);
  EXPECT_EQ(h.BoxesWithCaption("Dial")[0].text,
            "The user you are trying to call is not available. Please try again later.");
  auto log = h.CallLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(Columns(log[0])[1], "outgoing");
  EXPECT_EQ(Columns(log[0])[2], "missed");
  EXPECT_EQ(Columns(log[0])[8], "Bob");
  auto history = h.History();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].substr(0, 3), "OU*");
  EXPECT_NE(history[0].find("Bob, 12065550111"), std::string::npos);
}

}  // namespace
}  // namespace kestrelio
