// Call set-up state shared by the UDP thread, the call set-up thread, the incoming-call
// thread and call control. Flags and numbers are atomics; the texts and the peer's
// Endpoint are kept under one mutex and read as copies.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "net/wire/endpoint.h"
#include "net/wire/presence_messages.h"

namespace kestrelio {

// Where the set-up of a call stands. The values travel in CallSetupReport's state field.
enum class SetupPhase : uint16_t {
  kIdle = 0,       // CallConnectInd taken in
  kRepeating = 1,  // the set-up thread repeats its message
  kAnswered = 2,   // the peer acknowledged it
};

inline constexpr int kSetupAttempts = 10;  // repetitions after the first message

// A CallRequest waits this long for the server's CallConnectInd; a caller-role
// CallConnectInd after that (or for another number) is not taken.
inline constexpr uint32_t kCallRequestWaitMs = 10000;
// At most this many incoming-call threads run at once; a new call beyond them is turned
// away at once, without a thread, a prompt or a record.
inline constexpr int kMaxIncomingCalls = 4;
inline constexpr int32_t kNoCallId = -1;

// The call log keeps this many characters of the peer's user name.
inline constexpr size_t kDirectionNameChars = 19;

// Who the last call was with and which way it went; read by the call log.
struct CallDirectionRecord {
  bool incoming = false;
  std::string peer_user_name;  // at most kDirectionNameChars characters
  std::string peer_address;    // dotted
};

// The caller of the incoming call being prompted (or last prompted).
struct IncomingCaller {
  std::string number;  // at most PhoneNumber::kMaxChars characters
  std::string name;    // at most UserName::kMaxChars characters
};

struct SetupState {
  std::atomic<SetupPhase> state{SetupPhase::kIdle};
  std::atomic<int> attempt_limit{kSetupAttempts};
  std::atomic<bool> caller_role{false};
  // The user cancelled the outgoing attempt; the peer's confirming cancel logs it.
  std::atomic<bool> outgoing_cancelled{false};
  // Call ID of the last CallSetupReq that was prompted for; -1 before the first.
  std::atomic<int32_t> last_call_id{kNoCallId};
  // Counts the CallConnectInds taken in: a set-up thread of an earlier one stops.
  std::atomic<uint32_t> attempt{0};
  // The call ID the current set-up thread sends (CallSetupReq or CallSetupDummyReq);
  // only an acknowledgement of it counts.
  std::atomic<int32_t> setup_call_id{kNoCallId};
  // The outgoing attempt runs: from the caller-role CallConnectInd until the peer
  // answers, the no-answer timer, the callee's confirming cancel or the next attempt.
  std::atomic<bool> outgoing_open{false};
  // A CallRequest went out at request_sent_ms for requested_number and awaits its
  // CallConnectInd (or the server's CallBusyRsp).
  std::atomic<bool> request_pending{false};
  std::atomic<uint32_t> request_sent_ms{0};
  // The incoming call whose cancel closes the prompt and is logged; -1 when none.
  std::atomic<int32_t> cancellable_call_id{kNoCallId};
  std::atomic<uint32_t> cancellable_from{0};  // the IPv4 address its request came from
  // Shared with CallRequest: the CallSetupReport carries its current value.
  std::atomic<uint16_t> server_message_counter{0};
  std::atomic<int> peer_width{96};
  std::atomic<int> peer_height{80};

  mutable std::mutex mutex;  // guards the fields below
  Endpoint peer;
  SetupNote note;
  CallDirectionRecord direction;
  IncomingCaller caller;
  std::string requested_number;
};

}  // namespace kestrelio
