// Sample study records as the handset writes them (without the line end).
#pragma once

#include <string>

namespace kestrelio::samples {

inline constexpr const char* kDevice = "0123456789ABCDEF0123";

inline std::string CallRecord(const std::string& user_name = "Ann") {
  return std::string(kDevice) + ", OUTGOING, null, " + user_name +
         ", 01234567890, 1.2.3.4, 10.0.0.1, note, Peer, 09876543210, 5.6.7.8, 10.0.0.2, 65, "
         "2026-01-02 10:00:00, 2026-01-02 10:01:05, 11.500000, 10.250000, 3, 12345, 23456, 5, "
         "51.1234, -0.1234, 0.0000, 6, 51.1240, -0.1230, 1.5000, 80, 75";
}

inline std::string UnansweredRecord() {
  return std::string(kDevice) +
         ", incoming, missed, Ann, 01234567890, 1.2.3.4, 10.0.0.1, note, Ann, 09876543210, "
         "5.6.7.8, 10.0.0.2, null, 2026-01-02 11:00:00, null, null, null, null, null, null, 4, "
         "51.1234, -0.1234, 0.0000, null, null, null, null, 80, null";
}

inline std::string BatteryRecord() {
  return std::string(kDevice) + ", 1, plugged, 2026-01-02 12:00:00, 64";
}

inline std::string IpRecord() {
  return std::string(kDevice) + ", 0, 81.2.3.4, 2026-01-02 12:00:10, 7, 51.1234, -0.1234, 0.5000";
}

inline std::string ProgramRecord() {
  return std::string(kDevice) + ", 2026-01-02 09:00:00, 2026-01-02 17:30:00";
}

// A survey response block with CR LF line ends, as stored on disk.
inline std::string SurveyResponse(int question = 4, int answer = 17,
                                  const std::string& trigger = "after_call") {
  return "<response trigger=\"" + trigger + "\">\r\n\t<device>" + kDevice + "</device>\r\n\t<qid>" +
         std::to_string(question) + "</qid>\r\n\t<aid>" + std::to_string(answer) +
         "</aid>\r\n\t<showtime>2026-01-02 10:02:00</showtime>\r\n"
         "\t<submittime>2026-01-02 10:02:07</submittime>\r\n</response>\r\n";
}

}  // namespace kestrelio::samples
