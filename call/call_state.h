// The user's side of a call as call control keeps it: who the call is with, what was
// dialled last, the missed-call count, the status tick counter and the call's
// statistics, time stamps, positions and battery levels for the call log. Written by
// start and end of call (signalling threads or the GUI thread) and the status tick (GUI
// thread); texts and the call's figures sit under `mutex`, counters are atomics.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "study/call_log.h"

namespace kestrelio {

struct CallStatistics {
  uint64_t sent_frame_sum = 0;      // frames encoded, summed over the status ticks
  uint64_t received_frame_sum = 0;  // frames received, summed over the status ticks
  uint64_t encoded_byte_total = 0;
  uint64_t received_byte_total = 0;
  uint64_t lost_packet_total = 0;  // added in blocks of five status ticks

  bool operator==(const CallStatistics&) const = default;
};

struct CallState {
  mutable std::mutex mutex;  // guards the fields up to the atomics
  std::string peer_name;     // empty when disconnected
  std::string last_dialled_number;
  std::string last_dialled_name;
  std::string start_time;  // study timestamps
  std::string end_time;
  LoggedPosition start_position;
  LoggedPosition end_position;
  int start_battery = 0;  // 0 until the first call start
  int end_battery = 0;
  CallStatistics statistics;
  uint32_t last_call_ticks = 0;  // the status ticks of the last connected call

  std::atomic<int> missed_calls{0};       // not yet acknowledged; GUI thread
  std::atomic<uint32_t> status_ticks{0};  // seconds since the call started
  std::atomic<uint32_t> five_second_missing{0};
};

// What the remote control shows of the call state.
struct CallSnapshot {
  std::string peer_name;
  std::string last_dialled_number;
  std::string last_dialled_name;
  int missed_calls = 0;
  uint32_t status_ticks = 0;
  bool in_call = false;
  bool calling = false;
  struct LastCall {
    std::string start_time;
    std::string end_time;
    uint32_t ticks = 0;
    CallStatistics statistics;
    int start_battery = 0;
    int end_battery = 0;
  } last_call;
};

}  // namespace kestrelio
