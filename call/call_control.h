// The user's side of a call: dial, place call, Cancel, hang-up, the no-answer, prompt,
// network-loss, status and idle timers, the Missed Call dialog, the status line, and
// start and end of call. It is also what signalling calls back (CallEvents).
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
#include <string>
#include <string_view>

#include "call/call_devices.h"
#include "base/state/call_flags.h"
#include "call/call_state.h"
#include "call/chat.h"
#include "call/dial.h"
#include "call/missed_call_dialog.h"
#include "net/presence/online_db.h"
#include "net/presence/presence_client.h"
#include "net/signalling/call_events.h"
#include "net/signalling/call_signalling.h"
#include "net/signalling/control_sessions.h"
#include "net/signalling/own_identity.h"
#include "study/study_files.h"
#include "base/state/view_flags.h"
#include "base/window/window.h"

namespace kestrelio {

inline constexpr int kNetworkLossPeriodMs = 5000;
inline constexpr int kStatusTickPeriodMs = 1000;
inline constexpr int kHangUpWaitMs = 500;
inline constexpr int kCancelWaitMs = 500;
// A timer of our own that carries work onto the GUI thread (closing the Missed Call
// dialog when a call starts on a network thread). Not one of the window's ids.
inline constexpr int kTimerCloseMissedCall = 2157;

// Survey trigger events set by call control.
inline constexpr int kSurveyAfterCall = 0;
inline constexpr int kSurveyAfterCallShort = 1;
inline constexpr int kSurveyAfterCallPrivacy = 2;
inline constexpr int kSurveyDeclineCall = 3;
inline constexpr int kSurveyMissedCall = 4;
inline constexpr int kSurveyGpsChange = 6;

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
  // Runs the Contacts (141) or History (143) dialog; empty until those dialogs exist.
  EntryPicker pick_entry;
};

class CallControl : public CallEvents {
 public:
  // `signalling` is used only after construction, so it may be built after this object.
  CallControl(CallControlContext context, CallSignalling& signalling, ChatControl& chat);

  // Window commands (GUI thread).
  void OnDial();          // 110
  void OnHangUp();        // 111
  void OnPauseToggled();  // 112, after the window toggled the flag
  void OnHistoryCall();   // 145
  void OnCancel();        // 155
  void PlaceCall(std::string_view number);

  // Window timers (GUI thread).
  void OnStatusTick();       // 125
  void OnNoAnswer();         // 138
  void OnPromptTimeout();    // 139
  void OnNetworkLoss();      // 2002
  void OnIdleReset();        // 2003
  void OnCloseMissedCall();  // kTimerCloseMissedCall

  void RefreshStatusLine();
  CallSnapshot Snapshot() const;
  CallState& state() { return state_; }

  // CallEvents.
  void StartOfCall(std::string_view peer_name) override;
  void EndOfCall(bool close_decoder) override;
  void LogUnansweredCall(CallDirection direction, CallOutcome outcome,
                         std::string_view peer_name) override;
  void AppendHistory(std::string_view name, std::string_view number, HistoryMark mark) override;
  void SetPeerPictureSize(int width, int height) override;
  void WakeForIncomingCall() override;
  void Ring(bool on) override;
  void SetSurveyTrigger(int index) override;
  void SetChatPeerName(std::string_view name) override;
  void ShowReceivedChat(std::u16string_view text) override;
  void SetLastDialledNumber(std::string_view number) override;

 private:
  // The Connection Mutex taken on the GUI thread without blocking it.
  std::unique_lock<std::mutex> LockConnectionOnGui();
  // Waits `ms` on the GUI thread, events still running.
  void PumpingWait(int ms);
  void TakeDownCalling();
  void DialPicked(const PickedEntry& entry);
  CallLogParties Parties() const;

  CallControlContext ctx_;
  CallSignalling& signalling_;
  ChatControl& chat_;
  CallState state_;
  MissedCallDialog missed_dialog_;
  // GUI thread only: a GUI frame holds the Connection Mutex (hang-up question, network
  // loss box), so a handler nested in its event loop must not wait for it.
  bool gui_holds_connection_ = false;
};

}  // namespace kestrelio
