// The start-with-the-desktop switch: an XDG autostart entry,
// $XDG_CONFIG_HOME/autostart/kestrelio.desktop (default ~/.config/autostart/).
#pragma once

#include <string>

namespace kestrelio {

// Either argument may be null or empty (unset). "" when neither is usable.
std::string AutostartEntryPath(const char* xdg_config_home, const char* home);

// Writes the entry that starts `program_path`; creates the folder. False with a
// diagnostic line on failure.
bool CreateAutostartEntry(const std::string& entry_path, const std::string& program_path);
bool RemoveAutostartEntry(const std::string& entry_path);
bool AutostartEntryExists(const std::string& entry_path);

}  // namespace kestrelio
