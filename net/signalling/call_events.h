// What signalling reports to call control. Signalling owns the messages and the set-up
// and incoming-call threads; call control owns everything the user sees and hears: the
// Calling indicator, the no-answer and prompt timers, the chat blink, and every box.
// Implemented by call control (call/call_control.h); tests record.
#pragma once

#include <cstdint>
#include <stop_token>
#include <string>
#include <string_view>

#include "study/call_log.h"
#include "study/history_file.h"

namespace kestrelio {

// What the user answered to the incoming-call prompt.
enum class PromptAnswer {
  kNotAnswered,  // no prompt (a call is running, another box is open) or it was closed
  kYes,
  kNo,
};

// How the peer turned down an outgoing attempt.
enum class AttemptRefusal { kRejected, kBusy, kNoAnswer };

// Which path a message came by: the peer's UDP datagram or a TCP control session. The
// boxes word some notices differently for each.
enum class SignallingPath { kUdp, kSession };

class CallEvents {
 public:
  virtual ~CallEvents() = default;

  // An incoming call was accepted or an outgoing one answered. Runs on the thread that
  // learnt it (UDP thread or incoming-call thread).
  virtual void StartOfCall(std::string_view peer_name) = 0;
  // A remote release. The caller holds the Connection Mutex.
  virtual void EndOfCall(bool close_decoder) = 0;
  // After a remote release ended a running call (the Connection Mutex is free again):
  // the notice. Must return at once: the UDP thread calls it.
  virtual void ShowRemoteRelease(SignallingPath path) = 0;

  // The server paired this handset with a peer (CallConnectInd): a new attempt begins.
  virtual void CallSetupBegun() = 0;
  // The caller's set-up thread is about to send its first request: the Calling
  // indicator goes up.
  virtual void OutgoingAttemptStarting() = 0;
  // The first request went out: the attempt runs until answered or the no-answer timer.
  virtual void OutgoingAttemptRunning() = 0;
  // The peer answered the attempt (accepted, rejected, or not answered): the indicator
  // comes down and the no-answer timer stops.
  virtual void OutgoingAttemptAnswered() = 0;
  // The peer turned the attempt down; shown after the attempt was logged and closed.
  // Must return at once: the UDP thread calls it.
  virtual void OutgoingAttemptRefused(AttemptRefusal refusal, SignallingPath path) = 0;
  // A control session read a message: the Calling indicator comes down, if up.
  virtual void TakeDownCallingIndicator() = 0;

  // A new incoming call (one per call ID): no outgoing attempt waits for its timer now.
  virtual void IncomingCallArrived() = 0;
  // Asks the user whether to take the call from `number` (`name`); blocks the calling
  // incoming-call thread until answered, closed, or `cancel` is asked to stop. Rings,
  // wakes the screen and runs the prompt timer while it is open. `prompted` tells
  // whether a box was shown at all (only one prompt is open at a time); `timed_out`
  // that the prompt timer ended it, which has written the missed call's record and
  // history line itself.
  struct PromptOutcome {
    PromptAnswer answer = PromptAnswer::kNotAnswered;
    bool prompted = false;
    bool timed_out = false;
  };
  // `call_id` names the call: its prompt timer belongs to it alone.
  virtual PromptOutcome PromptIncomingCall(int32_t call_id, std::string_view number,
                                           std::string_view name, std::stop_token cancel) = 0;
  // The short wait after the prompt is over: ringing stops, and the prompt timer when a
  // prompt was shown and the timer still belongs to `call_id` (a later call's prompt
  // may run its own timer by now).
  virtual void IncomingPromptOver(int32_t call_id, bool prompted) = 0;
  // The incoming call was not taken (refused, not answered or cancelled).
  virtual void IncomingCallNotTaken() = 0;
  // The caller cancelled: an open prompt closes (it then answers "not answered") and
  // the prompt timer stops.
  virtual void IncomingCallCancelled() = 0;

  // A message could not be sent. `cancel` is the stop token of the worker that reports
  // it, so stopping that worker closes the box; without one (the UDP thread, the GUI)
  // it must return at once.
  virtual void ShowSendError(std::string_view text, std::stop_token cancel) = 0;

  // The call log record of a call that was never connected. An empty `peer_name` logs
  // the user name of the call direction record.
  virtual void LogUnansweredCall(CallDirection direction, CallOutcome outcome,
                                 std::string_view peer_name) = 0;
  virtual void AppendHistory(std::string_view name, std::string_view number, HistoryMark mark) = 0;

  // The picture size the peer will send: the decoder and the peer bitmap follow it.
  virtual void SetPeerPictureSize(int width, int height) = 0;
  // The peer paused or resumed its picture (or the call ended): the window repaints.
  virtual void PeerPauseChanged() = 0;
  // The survey trigger event `index` (3: decline_call).
  virtual void SetSurveyTrigger(int index) = 0;

  // The caller's name prefixes received chat lines.
  virtual void SetChatPeerName(std::string_view name) = 0;
  // A chat message arrived; `text` is its line (UTF-16 from the wire, already bounded)
  // or empty when the message carried none. Either way the chat key blinks.
  virtual void ChatMessageArrived(std::u16string_view text, bool has_text) = 0;
  // An accepted incoming call makes the caller's number the last dialled one.
  virtual void SetLastDialledNumber(std::string_view number) = 0;
};

}  // namespace kestrelio
