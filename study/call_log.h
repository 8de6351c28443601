// The call log (calllog.txt): one 30-column record for every connected call and one for
// every call that was never connected. Fields are joined with ", "; text fields are
// written as they are, except that control characters (a peer's name comes from the
// network) become spaces so that one record is always one line. "null" marks a column
// the kind of record has no value for.
//
// The records are formatted here, with no file access; StudyFiles (study/study_files.h)
// appends them under the Logging Mutex.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrelio {

enum class CallDirection { kIncoming, kOutgoing };
enum class CallOutcome { kRejected, kBusy, kMissed, kCancelled };

// "INCOMING"/"OUTGOING" (call record) and "incoming"/"outgoing" (unanswered record).
std::string_view CallDirectionUpper(CallDirection direction);
std::string_view CallDirectionLower(CallDirection direction);
// "rejected", "busy", "missed", "cancelled".
std::string_view CallOutcomeText(CallOutcome outcome);

// A GPS position as the records write it.
struct LoggedPosition {
  double latitude = 0.0;
  double longitude = 0.0;
  double speed_knots = 0.0;
  int satellites_used = 0;

  bool operator==(const LoggedPosition&) const = default;
};

// Columns both kinds of record share (1 and 4-8, 10-12).
struct CallLogParties {
  std::string device_id;            // 1
  std::string own_user_name;        // 4
  std::string own_phone_number;     // 5
  std::string own_public_address;   // 6
  std::string own_local_address;    // 7
  std::string setup_note;           // 8: from CallConnectInd, at most 21 characters
  std::string peer_phone_number;    // 10
  std::string peer_public_address;  // 11
  std::string peer_local_address;   // 12
};

// The record of a connected call, written during teardown after the end time, end
// position and end battery level were taken.
struct CallRecord {
  CallLogParties parties;
  CallDirection direction = CallDirection::kOutgoing;  // 2
  std::string peer_user_name;        // 9: the call direction record's name (at most 19)
  uint32_t status_ticks = 0;         // 13: n, seconds since call start
  std::string start_time;            // 14: FormatStudyTimestamp at call start
  std::string end_time;              // 15
  uint64_t sent_frame_sum = 0;       // frames encoded, summed over the status ticks
  uint64_t received_frame_sum = 0;   // frames received, summed over the status ticks
  uint64_t lost_packet_total = 0;    // 18
  uint64_t sent_byte_total = 0;      // bytes the encoder produced
  uint64_t received_byte_total = 0;  // payload bytes received (datagram less 10 bytes)
  LoggedPosition start_position;     // 21-24
  LoggedPosition end_position;       // 25-28
  int start_battery = 0;             // 29: percent
  int end_battery = 0;               // 30
};

// The record of a call that was never connected.
struct UnansweredCallRecord {
  CallLogParties parties;
  CallDirection direction = CallDirection::kOutgoing;  // 2
  CallOutcome outcome = CallOutcome::kMissed;          // 3
  std::string peer_name;    // 9: the name the occasion names (see the callers)
  std::string time;         // 14: now, FormatStudyTimestamp; the caller also keeps it as
                            // the call start time
  LoggedPosition position;  // 21-24: a fix taken for this record
  int start_battery = 0;    // 29: the level at the last call start (0 if none yet)
};

// Average frame rate over n status ticks: sum x (1.0 / (n + 1)).
double AverageFrameRate(uint64_t frame_sum, uint32_t status_ticks);
// Bytes plus 34 for each frame: bytes - trunc(n x rate x (-34.0)).
int64_t EstimatedBytes(uint64_t byte_total, uint32_t status_ticks, double frame_rate);

// One line each, ending with CR LF.
std::string FormatCallRecord(const CallRecord& record);
std::string FormatUnansweredCall(const UnansweredCallRecord& record);

// Whether the end position differs from the start position (exact comparison of
// latitude and longitude): the caller then raises the gps_change survey trigger.
bool PositionChanged(const CallRecord& record);

}  // namespace kestrelio
