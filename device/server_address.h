// Server addresses in the settings store and on the command line: "host[:port]".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrelio {

class SettingsStore;

struct HostPort {
  std::string host;
  uint16_t port = 0;
};

inline constexpr std::string_view kPresenceServerName = "PresenceServer";
inline constexpr std::string_view kStudyServerName = "StudyServer";
inline constexpr uint16_t kDefaultPresencePort = 8238;
inline constexpr uint16_t kDefaultStudyPort = 80;
inline constexpr std::string_view kDefaultServerHost = "127.0.0.1";

// "host" takes `default_port`; "host:port" needs a port 1-65535. Empty hosts, extra
// colons, spaces and non-numeric ports are refused (nullopt).
std::optional<HostPort> ParseHostPort(std::string_view text, uint16_t default_port);

// The presence and study servers from the settings store ("PresenceServer" and
// "StudyServer" under the program's key), falling back to 127.0.0.1:8238 and
// 127.0.0.1:80. A bad stored value gets a diagnostic line and the default.
HostPort PresenceServerAddress(SettingsStore& settings);
HostPort StudyServerAddress(SettingsStore& settings);

}  // namespace kestrelio
