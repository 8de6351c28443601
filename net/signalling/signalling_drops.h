// Control messages that signalling dropped for who sent them or when: each is counted
// here and written to the (folded) diagnostic output. Read by tests and the remote
// control's get-state.
#pragma once

#include <atomic>
#include <cstdint>

namespace kestrelio {

struct SignallingDrops {
  // A presence message (CallConnectInd, UserListInd, CallBusyRsp) not from the server.
  std::atomic<uint32_t> not_server{0};
  // A caller-role CallConnectInd without an outstanding CallRequest for that number.
  std::atomic<uint32_t> not_requested{0};
  // From an address other than the peer the server named.
  std::atomic<uint32_t> not_peer{0};
  // A set-up answer for no current attempt, or with another call ID.
  std::atomic<uint32_t> not_current{0};
  // A call message (release, chat, pause) while no call or set-up with the peer runs.
  std::atomic<uint32_t> not_in_call{0};
  // New incoming calls turned away because kMaxIncomingCalls were running.
  std::atomic<uint32_t> incoming_turned_away{0};
};

}  // namespace kestrelio
