// Call signalling between two handsets: the dispatch of every control message the
// transport hands over (UDP datagrams and TCP control sessions), the call set-up thread
// started by each CallConnectInd, the incoming-call thread with its prompt, the answers,
// cancel and remote release, and the sends call control and chat use. Signalling shows
// nothing itself: what the user sees and hears it reports through CallEvents.
//
//   presence ──CallConnectInd──▶ set-up thread ──CallSetupReq ×(1+10)──▶ peer
//        (caller: OutgoingAttemptStarting, OutgoingAttemptRunning)
//   peer ──CallSetupReq──▶ Ack, then (once per call ID) incoming-call thread
//        ──PromptIncomingCall──▶ CallAcceptRsp / CallRejectRsp / CallNoAnswerRsp /
//        CallCancelReq ──▶ peer; on Yes: StartOfCall
//   peer ──CallAcceptRsp──▶ StartOfCall (unless cancelled), OutgoingAttemptAnswered
//
// Every datagram goes through its wire parser first; a malformed one is dropped with a
// diagnostic line. Then its sender is checked: presence messages only from the server's
// address and port, a caller-role CallConnectInd only for a CallRequest of this handset,
// set-up answers only from the peer the server named (its public or local address) and
// for the current attempt, release, chat and pause only from that peer during its call or
// set-up. Whatever fails is counted (SignallingDrops) and dropped with a folded
// diagnostic line. Set-up messages are answered at the peer the server named, never at
// an address written inside them; at most kMaxIncomingCalls incoming-call threads run.
// An undefined type is reported on the diagnostic output only: a modal
// box would stop the UDP thread, and with it the call, for one stray datagram.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "base/state/call_flags.h"
#include "base/state/own_identity.h"
#include "base/state/peer_link.h"
#include "base/state/view_flags.h"
#include "base/worker.h"
#include "net/presence/presence_client.h"
#include "net/signalling/call_events.h"
#include "net/signalling/control_sessions.h"
#include "net/signalling/setup_state.h"
#include "net/signalling/signalling_drops.h"
#include "net/transport/control_port.h"
#include "net/wire/call_messages.h"
#include "net/wire/presence_messages.h"

namespace kestrelio {

inline constexpr int kSetupRepeatMs = 1000;

// The waits of the set-up and incoming-call threads; tests shorten them.
struct SignallingTimings {
  int setup_repeat_ms = kSetupRepeatMs;  // between set-up repetitions
  int after_prompt_ms = 1000;            // after the prompt, before the answer
  int after_refusal_ms = 500;            // after an answer other than Yes
};

struct SignallingContext {
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

  // Ends the set-up and incoming-call threads: their waits end, an open prompt or error
  // box of theirs closes (a prompt then counts as not answered), and they are joined.
  void Stop();

  void OnControlMessage(const ReceivedMessage& message) override;
  void OnSessionEnded() override;

  // Sends used by call control and chat; each reports whether the whole message went out.
  // Also marks the request as waiting for its CallConnectInd.
  bool SendCallRequest(std::string_view number);
  // The outgoing attempt is over without an answer (the no-answer timer, Cancel before
  // the server answered): no answer to it counts any more.
  void EndOutgoingAttempt();
  bool SendCallRelease();  // reports "CallReleaseReq Sending Error" on failure
  bool SendCallCancel();
  bool SendVideoPause(bool paused);
  bool SendChatText(std::u16string_view line);
  bool SendRttProbe(uint16_t probe_number);

  SetupState& state() { return state_; }
  const SetupState& state() const { return state_; }
  Endpoint PeerEndpoint() const;
  std::string SetupNoteText() const;
  CallDirectionRecord Direction() const;
  IncomingCaller Caller() const;
  // Set-up and incoming-call threads started so far (for tests).
  int threads_started() const { return threads_started_.load(); }
  // Incoming-call threads running now.
  int incoming_running() const { return incoming_running_.load(); }
  const SignallingDrops& drops() const { return drops_; }

 private:
  void Dispatch(const ReceivedMessage& message);
  void OnSetupReq(const ReceivedMessage& message);
  void OnAnswer(const ReceivedMessage& message);
  void OnCallRelease(const ReceivedMessage& message);
  void OnChatText(const ReceivedMessage& message);
  void OnCancel(const ReceivedMessage& message);
  void OnCallConnect(const ReceivedMessage& message);
  // The end of an answered outgoing attempt: indicator down, no later answer starts a
  // call, the history line and the call direction record.
  void CloseAnsweredAttempt(const AnswerFields& answer, std::string peer_address);
  void ReportUndefined(const ReceivedMessage& message);

  // The sender checks; the bool ones count and report a drop themselves.
  bool FromServer(const ReceivedMessage& message) const;
  bool FromPeer(const ReceivedMessage& message) const;
  // Release, chat and pause: from the peer, while a call or a set-up with it runs.
  bool PeerMaySpeak(const ReceivedMessage& message);
  bool AnswerCounts(const ReceivedMessage& message, MessageType type);
  // CallSetupReqAck (caller) and CallSetupDummyRsp (callee) of the current attempt.
  bool SetupEchoCounts(const ReceivedMessage& message, uint16_t call_id, bool caller);
  // Takes the outstanding CallRequest when it was for `peer_number` and is recent.
  bool RequestAwaitsConnect(std::string_view peer_number);
  // Counts the drop in `counter`, writes the diagnostic line; false.
  bool Drop(std::atomic<uint32_t>& counter, const ReceivedMessage& message, const char* why);
  // Where set-up answers go: the named peer, else the datagram's own source.
  NetAddress ReplyAddress(const ReceivedMessage& message) const;

  // The slots of the running incoming-call threads, one per call ID.
  enum class IncomingSlot { kReserved, kKnown, kFull };
  IncomingSlot ReserveIncoming(int32_t call_id);
  void ReleaseIncoming(int32_t call_id);
  // A new call beyond kMaxIncomingCalls: answered "not taken" without a thread.
  void TurnAwayIncoming(const ReceivedMessage& message);

  // One set-up or incoming-call thread; `done` is set when its body returned.
  struct SignallingThread {
    Worker worker;
    std::atomic<bool> done{false};
  };
  void RunSetup(Worker& worker, uint32_t generation, uint16_t call_id);
  void RunIncomingCall(Worker& worker, CallSetupFields request, std::string peer_address,
                       uint32_t from_ipv4);
  // Starts `body` on a new worker called `name`, unless Stop has begun; false when not
  // started.
  bool StartThread(std::string name, std::function<void(Worker&)> body);

  bool SendToPeer(std::span<const uint8_t> message);
  Endpoint OwnEndpoint() const;
  std::string PeerAddressText(const ReceivedMessage& message) const;

  SignallingContext ctx_;
  SetupState state_;
  std::atomic<int> threads_started_{0};
  std::atomic<int> incoming_running_{0};
  SignallingDrops drops_;
  std::mutex threads_mutex_;
  bool stopping_ = false;  // under threads_mutex_
  std::list<std::unique_ptr<SignallingThread>> threads_;
  std::array<int32_t, kMaxIncomingCalls> incoming_ids_ = MakeFreeSlots();  // under threads_mutex_
  static std::array<int32_t, kMaxIncomingCalls> MakeFreeSlots() {
    std::array<int32_t, kMaxIncomingCalls> slots{};
    slots.fill(kNoCallId);
    return slots;
  }
};

}  // namespace kestrelio
