// Call signalling between two handsets: the dispatch of every control message the
// transport hands over (UDP datagrams and TCP control sessions), the call set-up thread
// started by each CallConnectInd, the incoming-call thread with its prompt, the answers,
// cancel and remote release, and the sends call control and chat use.
//
//   presence ──CallConnectInd──▶ set-up thread ──CallSetupReq ×(1+10)──▶ peer
//   peer ──CallSetupReq──▶ Ack, then (once per call ID) incoming-call thread ──prompt──▶
//        answer 2 / 3 / 5 / 52 ──▶ peer; on Yes: CallEvents::StartOfCall
//   peer ──CallAcceptRsp──▶ StartOfCall (unless cancelled), answer epilogue
//
// Every datagram goes through its wire parser first; a malformed one is dropped with a
// diagnostic line. An undefined type is reported on the diagnostic output only: a modal
// box would stop the UDP thread, and with it the call, for one stray datagram.
#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "base/event.h"
#include "base/state/call_flags.h"
#include "net/transport/control_port.h"
#include "net/presence/presence_client.h"
#include "net/signalling/call_events.h"
#include "net/signalling/control_sessions.h"
#include "net/signalling/own_identity.h"
#include "net/signalling/setup_state.h"
#include "net/wire/call_messages.h"
#include "net/wire/presence_messages.h"
#include "base/state/view_flags.h"
#include "base/window/window.h"

namespace kestrelio {

inline constexpr std::string_view kConnectionCaption = "Connection";
inline constexpr char kIncomingPromptFormat[] = "Incoming call from %s (%s).\n\n Accept?";
inline constexpr int kPromptPeriodMs = 30000;
inline constexpr int kNoAnswerPeriodMs = 30000;
inline constexpr int kSetupRepeatMs = 1000;

// The waits of the set-up and incoming-call threads; tests shorten them.
struct SignallingTimings {
  int setup_repeat_ms = kSetupRepeatMs;  // between set-up repetitions
  int after_prompt_ms = 1000;            // after the prompt, before the answer
  int after_refusal_ms = 500;            // after an answer other than Yes
};

struct SignallingContext {
  Window& window;
  DatagramSender& sender;
  PresenceClient& presence;
  PeerLink& peer_link;
  CallFlags& call_flags;
  ViewFlags& view_flags;
  const OwnIdentity& identity;
  CallEvents& events;
  ControlSessions& sessions;
  std::mutex& connection_mutex;
  NetAddress presence_server;
  SignallingTimings timings = {};
};

class CallSignalling : public ControlMessageHandler {
 public:
  explicit CallSignalling(SignallingContext context);
  ~CallSignalling() override;  // Stop()
  CallSignalling(const CallSignalling&) = delete;
  CallSignalling& operator=(const CallSignalling&) = delete;

  // Ends the set-up and incoming-call threads: their waits end, an open prompt is
  // closed (answered as not answered), and they are joined.
  void Stop();

  void OnControlMessage(const ReceivedMessage& message) override;

  // Sends used by call control and chat; each reports whether the whole message went out.
  bool SendCallRequest(std::string_view number);
  bool SendCallRelease();  // shows "CallReleaseReq Sending Error" on failure
  bool SendCallCancel();
  bool SendVideoPause(bool paused);
  bool SendChatText(std::u16string_view line);
  bool SendRttProbe(uint16_t probe_number);

  // A "Connection" box of ours is open (the prompt or the hang-up question). Call control
  // counts its hang-up question here so a prompt never stacks on it.
  bool ConnectionBoxOpen() const { return connection_boxes_.load() > 0; }
  void ConnectionBoxOpened() { connection_boxes_.fetch_add(1); }
  void ConnectionBoxClosed() { connection_boxes_.fetch_sub(1); }
  // Closes the incoming-call prompt if it is open; true when one was.
  bool CloseIncomingPrompt();

  SetupState& state() { return state_; }
  const SetupState& state() const { return state_; }
  Endpoint PeerEndpoint() const;
  std::string SetupNoteText() const;
  CallDirectionRecord Direction() const;
  IncomingCaller Caller() const;
  // Set-up and incoming-call threads started so far (for tests).
  int threads_started() const { return threads_started_.load(); }

 private:
  void Dispatch(const ReceivedMessage& message);
  void OnSetupReq(const ReceivedMessage& message);
  void OnAnswer(const ReceivedMessage& message);
  void OnCallRelease(const ReceivedMessage& message);
  void OnChatText(const ReceivedMessage& message);
  void OnCancel(const ReceivedMessage& message);
  void OnCallConnect(const ReceivedMessage& message);
  void AnswerEpilogue(const AnswerFields& answer, std::string peer_address);
  void TakeDownCalling();
  void ReportUndefined(const ReceivedMessage& message);

  void RunSetup(std::stop_token stop);
  void RunIncomingCall(std::stop_token stop, CallSetupFields request, std::string peer_address);
  // Sleeps `ms` unless Stop comes first; false when stopped.
  bool Pause(int ms);
  template <typename Fn>
  void StartThread(Fn&& fn);

  bool SendToPeer(std::span<const uint8_t> message);
  void ShowError(std::string_view text, std::string_view caption);
  Endpoint OwnEndpoint() const;
  std::string PeerAddressText(const ReceivedMessage& message) const;

  SignallingContext ctx_;
  SetupState state_;
  std::atomic<int> connection_boxes_{0};
  std::atomic<bool> prompt_open_{false};
  std::atomic<int> threads_started_{0};
  Event stop_{EventReset::kManual};
  struct Worker {
    std::shared_ptr<std::atomic<bool>> done;
    std::jthread thread;
  };
  std::mutex threads_mutex_;
  std::list<Worker> threads_;
};

}  // namespace kestrelio
