// The IP log (iplog.txt): a line on the first logging pass and whenever the handset's
// address changes, with a position fix. A change also raises the ip_change survey.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "study/call_log.h"
#include "study/study_time.h"

namespace kestrelio {

inline constexpr std::string_view kIpLogFile = "iplog.txt";
inline constexpr size_t kMaxLoggedAddressBytes = 23;

// The own public address, or "disconnected" when it is empty or the local address is
// "127.0.0.1". Cut to 23 bytes, control characters made spaces.
std::string CurrentLoggedAddress(std::string_view own_public_address,
                                 std::string_view own_local_address);

enum class IpLogLine { kFirst, kChanged };

// "%s, 1|0, %s, <time>, %d, %2.4f, %2.4f, %2.4f" + CR LF.
std::string FormatIpLine(std::string_view device_id, IpLogLine kind, std::string_view address,
                         const StudyTime& time, const LoggedPosition& position);

// Remembers the last logged address for one program run.
class IpLogState {
 public:
  // Which line `current` calls for, if any, and remembers it as the last logged
  // address. The first call always gives kFirst, whatever the address is.
  std::optional<IpLogLine> Step(const std::string& current);

 private:
  std::optional<std::string> last_logged_;
};

}  // namespace kestrelio
