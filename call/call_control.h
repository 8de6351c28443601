// The user's side of a call: dial, place call, Cancel, hang-up, the Calling indicator,
// the incoming-call prompt and every other box of a call, the no-answer, prompt,
// network-loss, status and idle timers, the Missed Call dialog, the status line, and
// start and end of call. It is also what signalling reports to (CallEvents).
//
// Every end of a call runs under the Connection Mutex. The GUI thread never blocks on
// that mutex: it polls try_lock and runs `pump_events` between tries (the app fills it
// with QCoreApplication::processEvents), because a worker may hold the mutex while it
// waits for a message box that only the GUI thread can show. The same pump keeps the
// GUI live during the short waits after a hang-up or a cancel.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

#include "base/state/call_flags.h"
#include "base/state/network_loss_watch.h"
#include "base/state/own_identity.h"
#include "base/state/view_flags.h"
#include "base/window/window.h"
#include "call/call_devices.h"
#include "call/call_state.h"
#include "call/chat.h"
#include "call/dial.h"
#include "call/missed_call_dialog.h"
#include "call/notice_queue.h"
#include "net/presence/online_db.h"
#include "net/presence/presence_client.h"
#include "net/signalling/call_events.h"
#include "net/signalling/call_signalling.h"
#include "net/signalling/control_sessions.h"
#include "study/study_files.h"
#include "study/survey_trigger.h"

namespace kestrelio {

inline constexpr std::string_view kConnectionCaption = "Connection";
inline constexpr char kIncomingPromptFormat[] = "Incoming call from %s (%s).\n\n Accept?";
inline constexpr int kPromptPeriodMs = 30000;
inline constexpr int kNoAnswerPeriodMs = 30000;
inline constexpr int kStatusTickPeriodMs = 1000;
inline constexpr int kHangUpWaitMs = 500;
inline constexpr int kCancelWaitMs = 500;
// A timer of our own that carries work onto the GUI thread (closing the Missed Call
// dialog when a call starts on a network thread). Not one of the window's ids.
inline constexpr int kTimerCloseMissedCall = 2157;
// Another of our own: shows on the GUI thread the notices a network thread queued.
inline constexpr int kTimerShowNotices = 2158;
// A new incoming call waits up to this long for an earlier prompt that is closing (a
// cancel followed at once by a new attempt) before it counts as a second caller.
inline constexpr int kPromptCloseWaitMs = 1000;

// Survey trigger events set by call control.
inline constexpr int kSurveyAfterCall = static_cast<int>(SurveyTrigger::kAfterCall);
inline constexpr int kSurveyAfterCallShort = static_cast<int>(SurveyTrigger::kAfterCallShort);
inline constexpr int kSurveyAfterCallPrivacy = static_cast<int>(SurveyTrigger::kAfterCallPrivacy);
inline constexpr int kSurveyDeclineCall = static_cast<int>(SurveyTrigger::kDeclineCall);
inline constexpr int kSurveyMissedCall = static_cast<int>(SurveyTrigger::kMissedCall);
inline constexpr int kSurveyGpsChange = static_cast<int>(SurveyTrigger::kGpsChange);

// The survey event chosen at end of call: more than 29 status ticks is a call (2 when
// the own picture was paused during it, else 0), fewer a short call (1).
int EndOfCallSurveyTrigger(uint32_t status_ticks, bool paused_during_call);

struct CallControlContext {
  Window& window;
  CallFlags& call_flags;
  ViewFlags& view_flags;
  CallDevices& devices;
  StudyFiles& study_files;
  OnlineDb& online_db;
  PresenceClient& presence;
  OwnIdentity& identity;
  ControlSessions& sessions;
  std::mutex& connection_mutex;
  // Runs pending GUI events; empty in tests.
  std::function<void()> pump_events;
  // Runs the Contacts or History dialog; empty until those dialogs exist.
  EntryPicker pick_entry;
  // When the peer's video was last heard; without it the network-loss timer's first
  // expiry ends the call.
  NetworkLossWatch* network_loss = nullptr;
};

class CallControl : public CallEvents {
 public:
  // `signalling` is used only after construction, so it may be built after this object.
  CallControl(CallControlContext context, CallSignalling& signalling, ChatControl& chat);

  // Window commands (GUI thread).
  void OnDial();    // kCommandDial
  void OnHangUp();  // kCommandHangUp
  // GUI thread: a GUI frame below this one holds the Connection Mutex (the hang-up
  // question or the wait after it, the network-loss box).
  bool GuiHoldsConnection() const { return gui_holds_connection_; }
  void OnPauseToggled();  // kCommandPause, after the window toggled the flag
  void OnHistoryCall();   // kCommandHistoryCall
  void OnCancel();        // kCommandCancel
  void PlaceCall(std::string_view number);

  // Window timers (GUI thread).
  void OnStatusTick();       // kTimerStatusTick
  void OnNoAnswer();         // kTimerNoAnswer
  void OnPromptTimeout();    // kTimerIncomingPrompt
  void OnNetworkLoss();      // kTimerNetworkLoss
  void OnIdleReset();        // kTimerIdleReset
  void OnCloseMissedCall();  // kTimerCloseMissedCall
  void OnShowNotices();      // kTimerShowNotices

  // Queues a box for the GUI thread and returns at once (any thread).
  void PostNotice(std::string_view text, std::string_view caption);
  uint32_t notices_dropped() const { return notices_.dropped(); }

  // Closes the incoming-call prompt if it is open; true when one was.
  bool CloseIncomingPrompt();

  void RefreshStatusLine();
  CallSnapshot Snapshot() const;
  CallState& state() { return state_; }

  // CallEvents.
  void StartOfCall(std::string_view peer_name) override;
  void EndOfCall(bool close_decoder) override;
  void ShowRemoteRelease(SignallingPath path) override;
  void CallSetupBegun() override;
  void OutgoingAttemptStarting() override;
  void OutgoingAttemptRunning() override;
  void OutgoingAttemptAnswered() override;
  void OutgoingAttemptRefused(AttemptRefusal refusal, SignallingPath path) override;
  void TakeDownCallingIndicator() override;
  void IncomingCallArrived() override;
  PromptOutcome PromptIncomingCall(int32_t call_id, std::string_view number, std::string_view name,
                                   std::stop_token cancel) override;
  void IncomingPromptOver(int32_t call_id, bool prompted) override;
  void IncomingCallNotTaken() override;
  void IncomingCallCancelled() override;
  void ShowSendError(std::string_view text, std::stop_token cancel) override;
  void LogUnansweredCall(CallDirection direction, CallOutcome outcome,
                         std::string_view peer_name) override;
  void AppendHistory(std::string_view name, std::string_view number, HistoryMark mark) override;
  void SetPeerPictureSize(int width, int height) override;
  void PeerPauseChanged() override;
  void SetSurveyTrigger(int index) override;
  void SetChatPeerName(std::string_view name) override;
  void ChatMessageArrived(std::u16string_view text, bool has_text) override;
  void SetLastDialledNumber(std::string_view number) override;

 private:
  void Ring(bool on);
  // The Connection Mutex taken on the GUI thread without blocking it.
  std::unique_lock<std::mutex> LockConnectionOnGui();
  // Waits `ms` on the GUI thread, events still running.
  void PumpingWait(int ms);
  void DialPicked(const PickedEntry& entry);
  CallLogParties Parties() const;

  CallControlContext ctx_;
  CallSignalling& signalling_;
  ChatControl& chat_;
  CallState state_;
  MissedCallDialog missed_dialog_;
  // Boxes captioned "Connection" that are open (the prompt, the hang-up question): a
  // prompt never stacks on one.
  std::atomic<int> connection_boxes_{0};
  std::atomic<bool> prompt_open_{false};
  // The call whose prompt timer runs, kNoPromptCall when none: a timer is stopped or
  // acted on only for the call it was started for.
  static constexpr int64_t kNoPromptCall = -1;
  std::atomic<int64_t> prompt_timer_call_{kNoPromptCall};
  // The call whose prompt the timer ended (and whose missed call it recorded), until
  // that prompt's thread has taken note.
  std::atomic<int64_t> timed_out_call_{kNoPromptCall};
  // GUI thread only: a GUI frame holds the Connection Mutex (hang-up question, network
  // loss box), so a handler nested in its event loop must not wait for it.
  bool gui_holds_connection_ = false;
  NoticeQueue notices_;
  // GUI thread only: a notice box is open, so a nested timer run does not stack another.
  bool showing_notices_ = false;
};

}  // namespace kestrelio
