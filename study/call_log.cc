#include "study/call_log.h"

#include "study/study_text.h"

namespace kestrelio {

std::string_view CallDirectionUpper(CallDirection direction) {
  return direction == CallDirection::kIncoming ? "INCOMING" : "OUTGOING";
}

std::string_view CallDirectionLower(CallDirection direction) {
  return direction == CallDirection::kIncoming ? "incoming" : "outgoing";
}

std::string_view CallOutcomeText(CallOutcome outcome) {
  switch (outcome) {
    case CallOutcome::kRejected:
      return "rejected";
    case CallOutcome::kBusy:
      return "busy";
    case CallOutcome::kMissed:
      return "missed";
    case CallOutcome::kCancelled:
      return "cancelled";
  }
  return "missed";
}

double AverageFrameRate(uint64_t frame_sum, uint32_t status_ticks) {
  return static_cast<double>(frame_sum) * (1.0 / (static_cast<double>(status_ticks) + 1.0));
}

int64_t EstimatedBytes(uint64_t byte_total, uint32_t status_ticks, double frame_rate) {
  double per_frame_overhead = static_cast<double>(status_ticks) * frame_rate * (-34.0);
  return static_cast<int64_t>(byte_total) - static_cast<int64_t>(per_frame_overhead);
}

namespace {

// Columns 4-8 (own user name .. set-up note) with their leading separator.
void AppendOwnColumns(std::string& line, const CallLogParties& parties) {
  AppendFormat(line, ", %s, %s, %s, %s, %s", OneLineField(parties.own_user_name).c_str(),
               OneLineField(parties.own_phone_number).c_str(),
               OneLineField(parties.own_public_address).c_str(),
               OneLineField(parties.own_local_address).c_str(),
               OneLineField(parties.setup_note).c_str());
}

// Columns 10-12 (peer phone number and addresses) with their leading separator.
void AppendPeerColumns(std::string& line, const CallLogParties& parties) {
  AppendFormat(line, ", %s, %s, %s", OneLineField(parties.peer_phone_number).c_str(),
               OneLineField(parties.peer_public_address).c_str(),
               OneLineField(parties.peer_local_address).c_str());
}

void AppendPosition(std::string& line, const LoggedPosition& position) {
  AppendFormat(line, ", %d, %2.4f, %2.4f, %2.4f", position.satellites_used, position.latitude,
               position.longitude, position.speed_knots);
}

}  // namespace

std::string FormatCallRecord(const CallRecord& record) {
  const uint32_t n = record.status_ticks;
  const double sent_rate = AverageFrameRate(record.sent_frame_sum, n);
  const double received_rate = AverageFrameRate(record.received_frame_sum, n);
  std::string line;
  line.reserve(512);
  AppendFormat(line, "%s, %s, null", OneLineField(record.parties.device_id).c_str(),
               std::string(CallDirectionUpper(record.direction)).c_str());
  AppendOwnColumns(line, record.parties);
  AppendFormat(line, ", %s", OneLineField(record.peer_user_name).c_str());
  AppendPeerColumns(line, record.parties);
  AppendFormat(
      line, ", %u, %s, %s, %f, %f, %llu, %lld, %lld", n, OneLineField(record.start_time).c_str(),
      OneLineField(record.end_time).c_str(), sent_rate, received_rate,
      static_cast<unsigned long long>(record.lost_packet_total),
      static_cast<long long>(EstimatedBytes(record.sent_byte_total, n, sent_rate)),
      static_cast<long long>(EstimatedBytes(record.received_byte_total, n, received_rate)));
  AppendPosition(line, record.start_position);
  AppendPosition(line, record.end_position);
  AppendFormat(line, ", %d, %d\r\n", record.start_battery, record.end_battery);
  return line;
}

std::string FormatUnansweredCall(const UnansweredCallRecord& record) {
  std::string line;
  line.reserve(384);
  AppendFormat(line, "%s, %s, %s", OneLineField(record.parties.device_id).c_str(),
               std::string(CallDirectionLower(record.direction)).c_str(),
               std::string(CallOutcomeText(record.outcome)).c_str());
  AppendOwnColumns(line, record.parties);
  AppendFormat(line, ", %s", OneLineField(record.peer_name).c_str());
  AppendPeerColumns(line, record.parties);
  AppendFormat(line, ", null, %s, null, null, null, null, null, null",
               OneLineField(record.time).c_str());
  AppendPosition(line, record.position);
  AppendFormat(line, ", null, null, null, null, %d, null\r\n", record.start_battery);
  return line;
}

bool PositionChanged(const CallRecord& record) {
  return record.end_position.latitude != record.start_position.latitude ||
         record.end_position.longitude != record.start_position.longitude;
}

}  // namespace kestrelio
