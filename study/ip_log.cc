#include "study/ip_log.h"

#include "study/study_text.h"

namespace kestrelio {

std::string CurrentLoggedAddress(std::string_view own_public_address,
                                 std::string_view own_local_address) {
  if (own_public_address.empty() || own_local_address == "127.0.0.1") return "disconnected";
  return OneLineField(CutUtf8(own_public_address, kMaxLoggedAddressBytes));
}

std::string FormatIpLine(std::string_view device_id, IpLogLine kind, std::string_view address,
                         const StudyTime& time, const LoggedPosition& position) {
  std::string line = OneLineField(device_id);
  AppendFormat(line, ", %d, %s, %s, %d, %2.4f, %2.4f, %2.4f\r\n", kind == IpLogLine::kFirst ? 1 : 0,
               OneLineField(address).c_str(), FormatStudyTimestamp(time).c_str(),
               position.satellites_used, position.latitude, position.longitude,
               position.speed_knots);
  return line;
}

std::optional<IpLogLine> IpLogState::Step(const std::string& current) {
  std::optional<IpLogLine> line;
  if (!last_logged_) {
    line = IpLogLine::kFirst;
  } else if (*last_logged_ != current) {
    line = IpLogLine::kChanged;
  }
  last_logged_ = current;
  return line;
}

}  // namespace kestrelio
