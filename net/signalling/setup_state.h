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
  // The no-answer timer ended the outgoing attempt; a later cancel is not an incoming one.
  std::atomic<bool> no_answer{false};
  // Call ID of the last CallSetupReq that was prompted for; -1 before the first.
  std::atomic<int32_t> last_call_id{-1};
  // Shared with CallRequest: the CallSetupReport carries its current value.
  std::atomic<uint16_t> server_message_counter{0};
  std::atomic<int> peer_width{96};
  std::atomic<int> peer_height{80};

  mutable std::mutex mutex;  // guards the fields below
  Endpoint peer;
  SetupNote note;
  CallDirectionRecord direction;
  IncomingCaller caller;
};

}  // namespace kestrelio
