#include "call/call_control.h"

#include <cstdio>

#include "base/diag.h"
#include "base/tick.h"
#include "base/timer_scale.h"
#include "base/window/ids.h"
#include "call/pumping_lock.h"
#include "call/status_line.h"
#include "study/study_time.h"

namespace kestrelio {
namespace {

constexpr size_t kNumberChars = PhoneNumber::kMaxChars;
constexpr size_t kNameChars = UserName::kMaxChars;
constexpr int kPollMs = 2;
constexpr std::string_view kErrorCaption = "ERROR";

std::string_view ConnectionCaption(SignallingPath path) {
  return path == SignallingPath::kSession ? "TCP Connection" : "UDP Connection";
}
// When a network loss meets a hang-up question still open on the GUI thread, it is
// looked at again this much later.
constexpr int kNetworkLossRetryMs = 1000;

std::string Cut(std::string_view text, size_t max_chars) {
  return std::string(text.substr(0, max_chars));
}

}  // namespace

int EndOfCallSurveyTrigger(uint32_t status_ticks, bool paused_during_call) {
  if (status_ticks > 29) return paused_during_call ? kSurveyAfterCallPrivacy : kSurveyAfterCall;
  return kSurveyAfterCallShort;
}

CallControl::CallControl(CallControlContext context, CallSignalling& signalling, ChatControl& chat)
    : ctx_(std::move(context)),
      signalling_(signalling),
      chat_(chat),
      missed_dialog_(
          ctx_.window, state_.missed_calls,
          [this] {
            if (ctx_.pick_entry) ctx_.pick_entry(kHistoryDialog);
          },
          [this] { ctx_.devices.SetSurveyTrigger(kSurveyMissedCall); }) {}

// ---------------------------------------------------------------------------------------
// GUI-thread helpers.

std::unique_lock<std::mutex> CallControl::LockConnectionOnGui() {
  std::unique_lock lock(ctx_.connection_mutex, std::try_to_lock);
  if (lock.owns_lock()) return lock;
  // A GUI frame below this one may hold the mutex (a hang-up question is open and its
  // nested event loop runs this handler): waiting would never end, so give up.
  if (gui_holds_connection_) return {};
  return LockWhilePumping(ctx_.connection_mutex, ctx_.pump_events, kPollMs);
}

void CallControl::PumpingWait(int ms) {
  const uint32_t start = TickCountMs();
  while (TickCountMs() - start < static_cast<uint32_t>(ms)) {
    if (ctx_.pump_events) ctx_.pump_events();
    SleepMs(kPollMs);
  }
}

void CallControl::TakeDownCallingIndicator() {
  if (!ctx_.window.IsControlVisible(kControlCalling)) return;
  ctx_.window.ShowControl(kControlCalling, false);
  ctx_.window.ShowControl(kControlCancel, false);
  ctx_.window.KillTimer(kTimerCallingAnimation);
  ctx_.call_flags.calling.store(false);
}

// ---------------------------------------------------------------------------------------
// Commands.

void CallControl::OnDial() {
  if (ctx_.call_flags.in_call.load()) {
    ctx_.window.MessageBeep(BeepKind::kQuestion);
    ctx_.window.ShowMessageBox("Connection is active! Please disconnect first.", "",
                               MessageBoxButtons::kOk);
    return;
  }
  std::string last_number;
  {
    std::lock_guard lock(state_.mutex);
    last_number = state_.last_dialled_number;
  }
  DialDialogController dialog(ctx_.window, last_number, ctx_.pick_entry);
  const int result = ctx_.window.RunDialog(kDialDialog, dialog);
  if (result == kDialContacts && dialog.picked()) {
    DialPicked(*dialog.picked());
    return;
  }
  if (result != kDialSign) return;
  const DialDecision decision = DecideDial(dialog.typed(), ctx_.online_db);
  switch (decision.outcome) {
    case DialOutcome::kNoCall:
      return;
    case DialOutcome::kNotAvailable:
      ctx_.window.ShowMessageBox(kNotAvailableText, kDialResultCaption, MessageBoxButtons::kOk);
      return;
    case DialOutcome::kNotOnline:
      ctx_.window.ShowMessageBox(kNotOnlineText, kDialResultCaption, MessageBoxButtons::kOk);
      return;
    case DialOutcome::kPlaceCall: {
      PlaceCall(decision.number);
      // Received chat lines carry the name the Online DB gives the number, as they do
      // when the number is picked from the contacts.
      chat_.SetPeerName(Cut(decision.name, kChatPeerNameChars));
      std::lock_guard lock(state_.mutex);
      state_.last_dialled_number = Cut(decision.number, kNumberChars);
      state_.last_dialled_name = Cut(decision.name, kNameChars);
      return;
    }
  }
}

void CallControl::DialPicked(const PickedEntry& entry) {
  {
    std::lock_guard lock(state_.mutex);
    state_.last_dialled_number = Cut(entry.number, kNumberChars);
    state_.last_dialled_name = Cut(entry.name, kNameChars);
  }
  PlaceCall(Cut(entry.number, kNumberChars));
}

void CallControl::OnHistoryCall() {
  if (!ctx_.pick_entry) return;
  std::optional<PickedEntry> entry = ctx_.pick_entry(kHistoryDialog);
  if (entry && !entry->number.empty()) DialPicked(*entry);
}

void CallControl::PlaceCall(std::string_view number) {
  // A failed request is not reported: without the server's answer nothing follows.
  if (!signalling_.SendCallRequest(number))
    Diag("CallRequest for %.*s could not be sent", static_cast<int>(number.size()), number.data());
}

void CallControl::OnHangUp() {
  std::unique_lock lock = LockConnectionOnGui();
  if (!lock.owns_lock() || !ctx_.call_flags.in_call.load()) return;
  gui_holds_connection_ = true;
  connection_boxes_.fetch_add(1);
  const MessageBoxResult answer = ctx_.window.ShowMessageBox(
      "Do you want to hang up the call?", kConnectionCaption, MessageBoxButtons::kYesNo);
  connection_boxes_.fetch_sub(1);
  if (answer == MessageBoxResult::kYes && ctx_.call_flags.in_call.load()) {
    signalling_.SendCallRelease();
    EndOfCall(/*close_decoder=*/true);
    ctx_.view_flags.peer_video_paused.store(false);
    ctx_.window.Invalidate();
    PumpingWait(kHangUpWaitMs);
    ctx_.sessions.CloseSession();
  }
  gui_holds_connection_ = false;
}

void CallControl::OnPauseToggled() {
  if (!ctx_.call_flags.in_call.load()) return;
  const bool paused = ctx_.view_flags.own_video_paused.load();
  signalling_.SendVideoPause(paused);
  if (paused) ctx_.view_flags.paused_during_call.store(true);
}

void CallControl::OnCancel() {
  ctx_.window.KillTimer(kTimerNoAnswer);
  ctx_.call_flags.cancelled.store(true);
  // Set before the cancel goes out, so the callee's confirming cancel always finds it.
  signalling_.state().outgoing_cancelled.store(true);
  // No answer to this attempt counts any more, except the callee's confirming cancel.
  signalling_.EndOutgoingAttempt();
  const uint32_t attempt = signalling_.state().attempt.load();
  if (ctx_.call_flags.calling.load()) {
    signalling_.SendCallCancel();
    PumpingWait(kCancelWaitMs);
    ctx_.sessions.CloseSession();
  }
  // A dial made while the wait pumped events began a new attempt: its indicator stays.
  if (signalling_.state().attempt.load() != attempt) return;
  // Down whether or not it was up: the cancel may beat the indicator.
  ctx_.window.ShowControl(kControlCalling, false);
  ctx_.window.ShowControl(kControlCancel, false);
  ctx_.window.KillTimer(kTimerCallingAnimation);
  ctx_.call_flags.calling.store(false);
}

// ---------------------------------------------------------------------------------------
// Timers.

void CallControl::OnStatusTick() {
  const uint32_t ticks = state_.status_ticks.load();
  if (ticks % 5 == 4) {
    ctx_.devices.ReadBatteryPercent();
    const uint32_t missing = state_.five_second_missing.exchange(0);
    {
      std::lock_guard lock(state_.mutex);
      state_.statistics.lost_packet_total += missing;
    }
    signalling_.SendRttProbe(static_cast<uint16_t>((ticks + 1) / 5));
  }
  state_.status_ticks.store(ticks + 1);
  RefreshStatusLine();
}

void CallControl::OnNoAnswer() {
  ctx_.window.KillTimer(kTimerNoAnswer);
  ctx_.call_flags.cancelled.store(true);
  ctx_.sessions.CloseSession();
  TakeDownCallingIndicator();
  std::string name;
  std::string number;
  {
    std::lock_guard lock(state_.mutex);
    name = state_.last_dialled_name;
    number = state_.last_dialled_number;
  }
  LogUnansweredCall(CallDirection::kOutgoing, CallOutcome::kMissed, name);
  // A later answer or cancel from the peer belongs to no attempt: no second record.
  signalling_.EndOutgoingAttempt();
  // The history line goes before the box, which waits for the user.
  AppendHistory(name, number, HistoryMark::kOutMissed);
  ctx_.window.ShowMessageBox(
      "The user you are trying to call is not available. Please try again later.", "Dial",
      MessageBoxButtons::kOk);
}

void CallControl::OnPromptTimeout() {
  ctx_.window.KillTimer(kTimerIncomingPrompt);
  // The tick acts only for the call whose prompt is open and owns the timer. A tick
  // that comes after that prompt was answered, cancelled or already timed out (the
  // timer is killed then, but a tick may already be on its way) finds no owner and
  // writes nothing.
  int64_t owner = prompt_timer_call_.load();
  if (owner == kNoPromptCall || !prompt_timer_call_.compare_exchange_strong(owner, kNoPromptCall)) {
    return;
  }
  // Set before the prompt closes, so its thread knows the records are written here.
  timed_out_call_.store(owner);
  ctx_.sessions.CloseSession();
  LogUnansweredCall(CallDirection::kIncoming, CallOutcome::kMissed, ctx_.identity.user_name());
  const IncomingCaller caller = signalling_.Caller();
  AppendHistory(caller.name, caller.number, HistoryMark::kInMissed);
  CloseIncomingPrompt();
  state_.missed_calls.fetch_add(1);
  if (missed_dialog_.is_open()) {
    missed_dialog_.Update();
  } else {
    missed_dialog_.Run();
  }
}

void CallControl::OnNetworkLoss() {
  ctx_.window.KillTimer(kTimerNetworkLoss);
  if (ctx_.network_loss != nullptr) {
    // Video heard since the timer was armed: wait out the rest of the period from then.
    const uint32_t left = ctx_.network_loss->RemainingMs(
        TickCountMs(), static_cast<uint32_t>(ScaledPeriodMs(kNetworkLossPeriodMs)));
    if (left != 0) {
      ctx_.window.StartTimer(kTimerNetworkLoss, static_cast<int>(left));
      return;
    }
  }
  std::unique_lock lock = LockConnectionOnGui();
  if (!lock.owns_lock()) {
    ctx_.window.StartTimer(kTimerNetworkLoss, kNetworkLossRetryMs);
    return;
  }
  if (ctx_.call_flags.in_call.load()) {
    gui_holds_connection_ = true;
    EndOfCall(/*close_decoder=*/true);
    ctx_.sessions.CloseSession();
    // The mutex stays held until the user has seen this.
    ctx_.window.ShowMessageBox("Call was disconnected from network", "Disconnect",
                               MessageBoxButtons::kOk);
    gui_holds_connection_ = false;
  }
  lock.unlock();
  ctx_.view_flags.peer_video_paused.store(false);
  ctx_.window.Invalidate();
}

void CallControl::OnIdleReset() {
  ctx_.devices.ResetIdleTimer();
  ctx_.window.StartTimer(kTimerIdleReset, ctx_.devices.IdleResetIntervalMs());
}

void CallControl::OnCloseMissedCall() {
  ctx_.window.KillTimer(kTimerCloseMissedCall);
  missed_dialog_.Close();
}

void CallControl::PostNotice(std::string_view text, std::string_view caption) {
  if (notices_.Push(text, caption)) ctx_.window.StartTimer(kTimerShowNotices, 1);
}

void CallControl::OnShowNotices() {
  ctx_.window.KillTimer(kTimerShowNotices);
  // The box's own event loop may run this timer again: the loop below shows the rest.
  if (showing_notices_) return;
  showing_notices_ = true;
  NoticeQueue::Notice notice;
  while (notices_.Pop(notice)) {
    ctx_.window.ShowMessageBox(notice.Text(), notice.Caption(), MessageBoxButtons::kOk);
  }
  showing_notices_ = false;
}

// ---------------------------------------------------------------------------------------
// Start and end of call.

void CallControl::StartOfCall(std::string_view peer_name) {
  ctx_.window.MessageBeep(BeepKind::kDefault);
  ctx_.window.StartTimer(kTimerIdleReset, ctx_.devices.IdleResetIntervalMs());
  ctx_.devices.BacklightOn();
  chat_.Clear();
  // The Missed Call dialog lives on the GUI thread: closed there.
  ctx_.window.StartTimer(kTimerCloseMissedCall, 1);
  if (ctx_.network_loss != nullptr) ctx_.network_loss->Stamp(TickCountMs());
  ctx_.window.StartTimer(kTimerNetworkLoss, ScaledPeriodMs(kNetworkLossPeriodMs));
  if (!ctx_.devices.OpenDecoder()) {
    // Often on the UDP thread (an acceptance): shown by the GUI thread.
    PostNotice("Decoder Open Error", "Error");
    return;
  }
  const LoggedPosition position = ctx_.devices.ReadPosition(PositionMoment::kStart);
  const int battery = ctx_.devices.ReadBatteryPercent();
  const std::string now = FormatStudyTimestamp(LocalStudyTime());
  ctx_.devices.TakeSecondCounters();  // counts from before the call are not the call's
  {
    std::lock_guard lock(state_.mutex);
    state_.start_position = position;
    state_.start_battery = battery;
    state_.start_time = now;
    state_.statistics = {};
    state_.peer_name = std::string(peer_name);
  }
  state_.status_ticks.store(0);
  state_.five_second_missing.store(0);
  ctx_.view_flags.paused_during_call.store(false);
  ctx_.call_flags.video_active.store(true);
  ctx_.call_flags.in_call.store(true);
  ctx_.presence.SendKeepAliveSoon();  // the server lists this handset as in a call
  ctx_.window.StartTimer(kTimerStatusTick, kStatusTickPeriodMs);
  RefreshStatusLine();
  ctx_.devices.StartEncoder();
}

void CallControl::EndOfCall(bool close_decoder) {
  ctx_.window.KillTimer(kTimerStatusTick);
  ctx_.window.KillTimer(kTimerNetworkLoss);
  ctx_.window.KillTimer(kTimerIdleReset);
  ctx_.devices.BacklightOff();
  ctx_.call_flags.in_call.store(false);
  ctx_.presence.SendKeepAliveSoon();  // and idle again
  {
    std::lock_guard lock(state_.mutex);
    state_.peer_name.clear();
  }
  RefreshStatusLine();
  const std::string now = FormatStudyTimestamp(LocalStudyTime());
  const LoggedPosition position = ctx_.devices.ReadPosition(PositionMoment::kEnd);
  const int battery = ctx_.devices.ReadBatteryPercent();
  const uint32_t ticks = state_.status_ticks.load();
  CallRecord record;
  {
    std::lock_guard lock(state_.mutex);
    state_.end_time = now;
    state_.end_position = position;
    state_.end_battery = battery;
    state_.last_call_ticks = ticks;
    record.status_ticks = ticks;
    record.start_time = state_.start_time;
    record.end_time = now;
    record.sent_frame_sum = state_.statistics.sent_frame_sum;
    record.received_frame_sum = state_.statistics.received_frame_sum;
    record.lost_packet_total = state_.statistics.lost_packet_total;
    record.sent_byte_total = state_.statistics.encoded_byte_total;
    record.received_byte_total = state_.statistics.received_byte_total;
    record.start_position = state_.start_position;
    record.end_position = position;
    record.start_battery = state_.start_battery;
    record.end_battery = battery;
  }
  if (ctx_.call_flags.video_active.exchange(false)) {
    ctx_.devices.StopEncoder();
    const CallDirectionRecord direction = signalling_.Direction();
    record.parties = Parties();
    record.direction = direction.incoming ? CallDirection::kIncoming : CallDirection::kOutgoing;
    record.peer_user_name = direction.peer_user_name;
    if (!ctx_.study_files.AppendCallRecord(record)) Diag("call record could not be written");
    if (PositionChanged(record)) ctx_.devices.SetSurveyTrigger(kSurveyGpsChange);
  }
  if (close_decoder) ctx_.devices.CloseDecoder();
  ctx_.window.Invalidate();
  ctx_.devices.SetSurveyTrigger(
      EndOfCallSurveyTrigger(ticks, ctx_.view_flags.paused_during_call.load()));
}

void CallControl::RefreshStatusLine() {
  SecondCounters shown;
  const bool in_call = ctx_.call_flags.in_call.load();
  std::string peer;
  {
    std::lock_guard lock(state_.mutex);
    if (in_call) {
      const MediaSecond second = ctx_.devices.TakeSecondCounters();
      state_.statistics.sent_frame_sum += second.frames_encoded;
      state_.statistics.received_frame_sum += second.frames_received;
      state_.statistics.encoded_byte_total += second.bytes_encoded;
      state_.statistics.received_byte_total += second.bytes_received;
      state_.five_second_missing.fetch_add(second.packets_missing);
      shown = SecondCounters{second.frames_encoded, second.bytes_encoded, second.packets_missing};
    }
    peer = state_.peer_name;
  }
  ctx_.window.SetControlText(kControlStatusLine,
                             StatusLineText(peer, state_.status_ticks.load(), in_call, shown,
                                            ctx_.devices.LastBatteryPercent()));
}

// ---------------------------------------------------------------------------------------
// Logs.

CallLogParties CallControl::Parties() const {
  CallLogParties parties;
  parties.device_id = ctx_.identity.device_id();
  parties.own_user_name = ctx_.identity.user_name();
  parties.own_phone_number = ctx_.identity.phone_number();
  parties.own_public_address = ctx_.presence.OwnPublicAddressText();
  parties.own_local_address = ctx_.presence.OwnLocalAddress();
  parties.setup_note = signalling_.SetupNoteText();
  const Endpoint peer = signalling_.PeerEndpoint();
  parties.peer_phone_number = std::string(peer.phone.view());
  parties.peer_public_address = std::string(peer.public_address.view());
  parties.peer_local_address = std::string(peer.local_address.view());
  return parties;
}

void CallControl::LogUnansweredCall(CallDirection direction, CallOutcome outcome,
                                    std::string_view peer_name) {
  UnansweredCallRecord record;
  record.parties = Parties();
  record.direction = direction;
  record.outcome = outcome;
  record.peer_name =
      peer_name.empty() ? signalling_.Direction().peer_user_name : std::string(peer_name);
  record.position = ctx_.devices.ReadPosition(PositionMoment::kStart);
  record.time = FormatStudyTimestamp(LocalStudyTime());
  {
    std::lock_guard lock(state_.mutex);
    state_.start_position = record.position;
    state_.start_time = record.time;
    record.start_battery = state_.start_battery;
  }
  if (!ctx_.study_files.AppendUnansweredCall(record)) {
    Diag("unanswered-call record could not be written");
  }
}

void CallControl::AppendHistory(std::string_view name, std::string_view number, HistoryMark mark) {
  ctx_.study_files.AppendHistoryLine(name, number, mark);
}

// ---------------------------------------------------------------------------------------
// What signalling reports: the attempts, the prompt, the boxes.

void CallControl::ShowRemoteRelease(SignallingPath path) {
  PostNotice(path == SignallingPath::kSession ? "Call is disconnected by peer."
                                              : "Call is disconnected by remote.",
             ConnectionCaption(path));
}

void CallControl::CallSetupBegun() { ctx_.window.SetControlText(kControlCalling, "\nCalling."); }

void CallControl::OutgoingAttemptStarting() {
  // Each attempt's animation starts at its first text.
  ctx_.window.SetControlText(kControlCalling, kCallingTexts[0]);
  ctx_.window.ShowControl(kControlCalling, true);
  ctx_.window.ShowControl(kControlCancel, true);
  ctx_.window.StartTimer(kTimerCallingAnimation, kCallingAnimationPeriodMs);
}

void CallControl::OutgoingAttemptRunning() {
  ctx_.call_flags.calling.store(true);
  ctx_.window.StartTimer(kTimerNoAnswer, ScaledPeriodMs(kNoAnswerPeriodMs));
  // An answer that came while the request went out has taken the indicator down
  // already: the attempt is over.
  if (!ctx_.window.IsControlVisible(kControlCalling)) ctx_.call_flags.calling.store(false);
}

void CallControl::OutgoingAttemptAnswered() {
  TakeDownCallingIndicator();
  ctx_.window.KillTimer(kTimerNoAnswer);
}

void CallControl::OutgoingAttemptRefused(AttemptRefusal refusal, SignallingPath path) {
  ctx_.window.MessageBeep(BeepKind::kExclamation);
  switch (refusal) {
    case AttemptRefusal::kRejected:
      PostNotice(path == SignallingPath::kSession
                     ? "User you are trying to call is not available. Please try again later."
                     : "User is not available. Please try again later.",
                 ConnectionCaption(path));
      return;
    case AttemptRefusal::kBusy:
      PostNotice("The line is busy. Please try again later.", ConnectionCaption(path));
      return;
    case AttemptRefusal::kNoAnswer:
      return;
  }
}

void CallControl::IncomingCallArrived() { ctx_.window.KillTimer(kTimerNoAnswer); }

CallEvents::PromptOutcome CallControl::PromptIncomingCall(int32_t call_id, std::string_view number,
                                                          std::string_view name,
                                                          std::stop_token cancel) {
  ctx_.window.MessageBeep(BeepKind::kDefault);
  Ring(true);
  char text[256];
  std::snprintf(text, sizeof text, kIncomingPromptFormat, std::string(number).c_str(),
                std::string(name).c_str());
  ctx_.devices.ResetIdleTimer();  // the screen wakes for the prompt
  PromptOutcome outcome;
  // One prompt at a time: a second caller meanwhile is not answered. An earlier prompt
  // that a cancel is closing right now is waited for a moment, so that a new attempt
  // made at once after a cancel gets its prompt.
  const uint32_t start = TickCountMs();
  bool expected = false;
  while (connection_boxes_.load() > 0 || !prompt_open_.compare_exchange_strong(expected, true)) {
    expected = false;
    if (cancel.stop_requested() || TickCountMs() - start >= kPromptCloseWaitMs) return outcome;
    SleepMs(kPollMs * 5);
  }
  connection_boxes_.fetch_add(1);
  outcome.prompted = true;
  // The timer runs only for a prompt that is shown, and is this call's.
  prompt_timer_call_.store(call_id);
  ctx_.window.StartTimer(kTimerIncomingPrompt, ScaledPeriodMs(kPromptPeriodMs));
  const MessageBoxResult result =
      ctx_.window.ShowMessageBox(text, kConnectionCaption, MessageBoxButtons::kYesNo, cancel);
  // The answer and the timer meet here: whichever takes the timer's ownership first
  // decides how the prompt ended. An answered prompt stops its timer at once, so a
  // tick during the wait that follows cannot count the call as missed as well.
  int64_t owner = call_id;
  if (prompt_timer_call_.compare_exchange_strong(owner, kNoPromptCall)) {
    ctx_.window.KillTimer(kTimerIncomingPrompt);
    if (result == MessageBoxResult::kYes) outcome.answer = PromptAnswer::kYes;
    if (result == MessageBoxResult::kNo) outcome.answer = PromptAnswer::kNo;
  } else {
    int64_t timed_out = call_id;
    outcome.timed_out = timed_out_call_.compare_exchange_strong(timed_out, kNoPromptCall);
  }
  connection_boxes_.fetch_sub(1);
  prompt_open_.store(false);
  return outcome;
}

void CallControl::IncomingPromptOver(int32_t call_id, bool prompted) {
  int64_t owner = call_id;
  // Ringing stops only when no later call's prompt has taken over.
  if (prompted && prompt_timer_call_.compare_exchange_strong(owner, kNoPromptCall)) {
    ctx_.window.KillTimer(kTimerIncomingPrompt);
    Ring(false);
  } else if (!prompt_open_.load()) {
    Ring(false);
  }
}

void CallControl::IncomingCallNotTaken() { ctx_.window.MessageBeep(BeepKind::kQuestion); }

void CallControl::IncomingCallCancelled() {
  CloseIncomingPrompt();
  prompt_timer_call_.store(kNoPromptCall);
  ctx_.window.KillTimer(kTimerIncomingPrompt);
}

bool CallControl::CloseIncomingPrompt() {
  if (!prompt_open_.load()) return false;
  return ctx_.window.CloseMessageBox(kConnectionCaption);
}

void CallControl::ShowSendError(std::string_view text, std::stop_token cancel) {
  // A set-up thread waits for its box (its stop token closes it); the UDP thread and
  // the GUI have no token and must not wait: theirs is posted.
  if (!cancel.stop_possible()) {
    PostNotice(text, kErrorCaption);
    return;
  }
  ctx_.window.ShowMessageBox(text, kErrorCaption, MessageBoxButtons::kOk, cancel);
}

// ---------------------------------------------------------------------------------------
// The rest of CallEvents.

void CallControl::SetPeerPictureSize(int width, int height) {
  ctx_.devices.SetPeerPictureSize(width, height);
}

void CallControl::PeerPauseChanged() { ctx_.window.Invalidate(); }

void CallControl::Ring(bool on) {
  ctx_.devices.Vibrate(on && !ctx_.devices.IsSilentMode() ? RingRequest::kRing
                                                          : RingRequest::kIdle);
}

void CallControl::SetSurveyTrigger(int index) { ctx_.devices.SetSurveyTrigger(index); }

void CallControl::SetChatPeerName(std::string_view name) { chat_.SetPeerName(name); }

void CallControl::ChatMessageArrived(std::u16string_view text, bool has_text) {
  if (has_text) chat_.ShowReceived(text);
  // The window's blink handler stops at once when the chat panel is shown.
  ctx_.window.StartTimer(kTimerChatBlink, kChatBlinkPeriodMs);
}

void CallControl::SetLastDialledNumber(std::string_view number) {
  std::lock_guard lock(state_.mutex);
  state_.last_dialled_number = Cut(number, kNumberChars);
}

CallSnapshot CallControl::Snapshot() const {
  CallSnapshot snapshot;
  snapshot.missed_calls = state_.missed_calls.load();
  snapshot.status_ticks = state_.status_ticks.load();
  snapshot.in_call = ctx_.call_flags.in_call.load();
  snapshot.calling = ctx_.call_flags.calling.load();
  std::lock_guard lock(state_.mutex);
  snapshot.peer_name = state_.peer_name;
  snapshot.last_dialled_number = state_.last_dialled_number;
  snapshot.last_dialled_name = state_.last_dialled_name;
  snapshot.last_call.start_time = state_.start_time;
  snapshot.last_call.end_time = state_.end_time;
  snapshot.last_call.ticks = state_.last_call_ticks;
  snapshot.last_call.statistics = state_.statistics;
  snapshot.last_call.start_battery = state_.start_battery;
  snapshot.last_call.end_battery = state_.end_battery;
  return snapshot;
}

}  // namespace kestrelio
