#include "servers/study/study_tables.h"

#include <array>

namespace kestrelio {
namespace {

using K = FieldKind;

constexpr std::string_view kUpperDirections[] = {"INCOMING", "OUTGOING"};
constexpr std::string_view kLowerDirections[] = {"incoming", "outgoing"};
constexpr std::string_view kOutcomes[] = {"missed", "rejected", "busy", "cancelled"};
constexpr std::string_view kPowerStates[] = {"plugged", "unplugged"};
constexpr std::string_view kTriggers[] = {
    "after_call", "after_call_short", "after_call_privacy", "decline_call", "missed_call",
    "ip_change",  "gps_change",       "receive_text",       "sent_text",    "vrs_call"};

// The record of a connected call: 30 fields.
constexpr FieldLayout kCallFields[] = {
    {"device", K::kDeviceId},
    {"direction", K::kChoice, kUpperDirections},
    {"", K::kNull},
    {"user_name", K::kText},
    {"phone", K::kText},
    {"public_address", K::kText},
    {"local_address", K::kText},
    {"setup_note", K::kText},
    {"peer_name", K::kText},
    {"peer_phone", K::kText},
    {"peer_public_address", K::kText},
    {"peer_local_address", K::kText},
    {"duration_s", K::kInteger},
    {"start_time", K::kTimestamp},
    {"end_time", K::kTimestamp},
    {"sent_fps", K::kDecimal},
    {"received_fps", K::kDecimal},
    {"lost_packets", K::kInteger},
    {"sent_bytes", K::kInteger},
    {"received_bytes", K::kInteger},
    {"start_satellites", K::kInteger},
    {"start_latitude", K::kDecimal},
    {"start_longitude", K::kDecimal},
    {"start_speed", K::kDecimal},
    {"end_satellites", K::kInteger},
    {"end_latitude", K::kDecimal},
    {"end_longitude", K::kDecimal},
    {"end_speed", K::kDecimal},
    {"start_battery", K::kInteger},
    {"end_battery", K::kInteger},
};

// The record of a call that was never connected: 30 fields, many of them null.
constexpr FieldLayout kUnansweredFields[] = {
    {"device", K::kDeviceId},
    {"direction", K::kChoice, kLowerDirections},
    {"outcome", K::kChoice, kOutcomes},
    {"user_name", K::kText},
    {"phone", K::kText},
    {"public_address", K::kText},
    {"local_address", K::kText},
    {"setup_note", K::kText},
    {"peer_name", K::kText},
    {"peer_phone", K::kText},
    {"peer_public_address", K::kText},
    {"peer_local_address", K::kText},
    {"", K::kNull},
    {"time", K::kTimestamp},
    {"", K::kNull},
    {"", K::kNull},
    {"", K::kNull},
    {"", K::kNull},
    {"", K::kNull},
    {"", K::kNull},
    {"satellites", K::kInteger},
    {"latitude", K::kDecimal},
    {"longitude", K::kDecimal},
    {"speed", K::kDecimal},
    {"", K::kNull},
    {"", K::kNull},
    {"", K::kNull},
    {"", K::kNull},
    {"battery", K::kInteger},
    {"", K::kNull},
};

constexpr FieldLayout kBatteryFields[] = {
    {"device", K::kDeviceId}, {"first_reading", K::kFlag}, {"state", K::kChoice, kPowerStates},
    {"time", K::kTimestamp},  {"level", K::kInteger},
};

constexpr FieldLayout kIpFields[] = {
    {"device", K::kDeviceId},   {"first_reading", K::kFlag}, {"address", K::kText},
    {"time", K::kTimestamp},    {"satellites", K::kInteger}, {"latitude", K::kDecimal},
    {"longitude", K::kDecimal}, {"speed", K::kDecimal},
};

constexpr FieldLayout kProgramFields[] = {
    {"device", K::kDeviceId},
    {"start_time", K::kTimestamp},
    {"last_seen", K::kTimestamp},
};

// Survey responses are blocks of tagged lines, not comma lists; these are the values a
// block yields, in this order.
constexpr FieldLayout kSurveyFields[] = {
    {"device", K::kDeviceId}, {"trigger", K::kChoice, kTriggers}, {"question", K::kInteger},
    {"answer", K::kInteger},  {"show_time", K::kTimestamp},       {"submit_time", K::kTimestamp},
};

constexpr std::array<TableLayout, kStudyTableCount> kTables = {{
    {StudyTable::kCalls, "calls", "Calls", "start_time", kCallFields},
    {StudyTable::kUnansweredCalls, "unanswered_calls", "Unanswered calls", "time",
     kUnansweredFields},
    {StudyTable::kBattery, "battery", "Battery", "time", kBatteryFields},
    {StudyTable::kIp, "ip", "IP addresses", "time", kIpFields},
    {StudyTable::kProgramRuns, "program_runs", "Program runs", "start_time", kProgramFields},
    {StudyTable::kSurveyResponses, "survey_responses", "Survey answers", "submit_time",
     kSurveyFields},
}};

}  // namespace

const TableLayout& LayoutOf(StudyTable table) { return kTables[static_cast<size_t>(table)]; }

std::span<const TableLayout> AllTables() { return kTables; }

const TableLayout* FindTable(std::string_view name) {
  for (const TableLayout& layout : kTables) {
    if (layout.name == name) return &layout;
  }
  return nullptr;
}

size_t StoredColumnCount(const TableLayout& layout) {
  size_t count = 0;
  for (const FieldLayout& field : layout.fields) {
    if (field.kind != FieldKind::kNull) ++count;
  }
  return count;
}

}  // namespace kestrelio
