// What the signalling threads ask of call control: start and end of a call, the logs of
// calls that were never connected, the history file, the chat display, the peer picture
// size, and the ring. Implemented by call control (call/call_control.h); tests record.
#pragma once

#include <string>
#include <string_view>

#include "study/call_log.h"
#include "study/history_file.h"

namespace kestrelio {

class CallEvents {
 public:
  virtual ~CallEvents() = default;

  // An incoming call was accepted or an outgoing one answered. Runs on the thread that
  // learnt it (UDP thread or incoming-call thread).
  virtual void StartOfCall(std::string_view peer_name) = 0;
  // A remote release. The caller holds the Connection Mutex.
  virtual void EndOfCall(bool close_decoder) = 0;

  // The call log record of a call that was never connected. An empty `peer_name` logs
  // the user name of the call direction record.
  virtual void LogUnansweredCall(CallDirection direction, CallOutcome outcome,
                                 std::string_view peer_name) = 0;
  virtual void AppendHistory(std::string_view name, std::string_view number, HistoryMark mark) = 0;

  // The picture size the peer will send: the decoder and the peer bitmap follow it.
  virtual void SetPeerPictureSize(int width, int height) = 0;
  // Incoming-call prompt: wake the screen and ring (or stay silent in silent mode).
  virtual void WakeForIncomingCall() = 0;
  virtual void Ring(bool on) = 0;
  // The survey trigger event `index` (3: decline_call).
  virtual void SetSurveyTrigger(int index) = 0;

  // The caller's name prefixes received chat lines.
  virtual void SetChatPeerName(std::string_view name) = 0;
  // A received chat line (UTF-16 from the wire, already bounded).
  virtual void ShowReceivedChat(std::u16string_view text) = 0;
  // An accepted incoming call makes the caller's number the last dialled one.
  virtual void SetLastDialledNumber(std::string_view number) = 0;
};

}  // namespace kestrelio
