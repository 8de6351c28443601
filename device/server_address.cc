#include "device/server_address.h"

#include "base/diag.h"
#include "device/settings_store.h"

namespace kestrelio {
namespace {

HostPort StoredAddress(SettingsStore& settings, std::string_view name, uint16_t default_port) {
  HostPort fallback{std::string(kDefaultServerHost), default_port};
  std::optional<std::string> text = settings.GetString(kKestrelioKey, name);
  if (!text) return fallback;
  std::optional<HostPort> parsed = ParseHostPort(*text, default_port);
  if (!parsed) {
    Diag("settings value %.*s \"%s\" is not host[:port]; using %s:%u",
         static_cast<int>(name.size()), name.data(), text->c_str(), fallback.host.c_str(),
         static_cast<unsigned>(fallback.port));
    return fallback;
  }
  return *parsed;
}

}  // namespace

std::optional<HostPort> ParseHostPort(std::string_view text, uint16_t default_port) {
  if (text.empty() || text.size() > 255) return std::nullopt;
  for (char c : text) {
    if (c <= ' ' || c == 0x7F || c == '/' || c == '[' || c == ']') return std::nullopt;
  }
  size_t colon = text.find(':');
  HostPort result;
  result.host = std::string(text.substr(0, colon));
  result.port = default_port;
  if (result.host.empty()) return std::nullopt;
  if (colon == std::string_view::npos) return result;
  std::string_view digits = text.substr(colon + 1);
  if (digits.empty() || digits.size() > 5) return std::nullopt;
  uint32_t port = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    port = port * 10 + static_cast<uint32_t>(c - '0');
  }
  if (port == 0 || port > 65535) return std::nullopt;
  result.port = static_cast<uint16_t>(port);
  return result;
}

HostPort PresenceServerAddress(SettingsStore& settings) {
  return StoredAddress(settings, kPresenceServerName, kDefaultPresencePort);
}

HostPort StudyServerAddress(SettingsStore& settings) {
  return StoredAddress(settings, kStudyServerName, kDefaultStudyPort);
}

}  // namespace kestrelio
