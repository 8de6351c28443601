#include "device/autostart.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "base/diag.h"

namespace kestrelio {

std::string AutostartEntryPath(const char* xdg_config_home, const char* home) {
  if (xdg_config_home != nullptr && xdg_config_home[0] == '/') {
    return std::string(xdg_config_home) + "/autostart/kestrelio.desktop";
  }
  if (home != nullptr && home[0] == '/') {
    return std::string(home) + "/.config/autostart/kestrelio.desktop";
  }
  return {};
}

bool CreateAutostartEntry(const std::string& entry_path, const std::string& program_path) {
  if (entry_path.empty()) return false;
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(entry_path).parent_path(), error);
  std::FILE* file = std::fopen(entry_path.c_str(), "w");
  if (file == nullptr) {
    Diag("cannot write autostart entry %s: %s", entry_path.c_str(), std::strerror(errno));
    return false;
  }
  // Exec arguments with spaces or quotes must be quoted, with \ " ` $ escaped.
  std::string exec = "\"";
  for (char c : program_path) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') exec += '\\';
    exec += c;
  }
  exec += '"';
  std::fprintf(file,
               "[Desktop Entry]\nType=Application\nName=Kestrelio\n"
               "Comment=Video telephone for sign language\nExec=%s\nIcon=kestrelio\n"
               "Terminal=false\nX-GNOME-Autostart-enabled=true\n",
               exec.c_str());
  bool ok = std::fclose(file) == 0;
  if (!ok) Diag("cannot write autostart entry %s", entry_path.c_str());
  return ok;
}

bool RemoveAutostartEntry(const std::string& entry_path) {
  std::error_code error;
  std::filesystem::remove(entry_path, error);
  if (error) {
    Diag("cannot remove autostart entry %s: %s", entry_path.c_str(), error.message().c_str());
    return false;
  }
  return true;
}

bool AutostartEntryExists(const std::string& entry_path) {
  std::error_code error;
  return !entry_path.empty() && std::filesystem::is_regular_file(entry_path, error);
}

}  // namespace kestrelio
