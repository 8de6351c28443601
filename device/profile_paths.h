// Where a handset keeps its files: the profile folder (one per handset; several
// handsets on one machine use several profiles) and the folders and files inside it.
#pragma once

#include <string>
#include <string_view>

namespace kestrelio {

struct ProfilePaths {
  std::string profile_dir;     // no trailing slash
  std::string settings_file;   // <profile>/settings.ini
  std::string study_folder;    // <profile>/My Documents/Personal/Kestrelio/ (trailing slash)
  std::string diagnostic_log;  // <profile>/diagnostic.log
};

// The default profile folder: $XDG_DATA_HOME/kestrelio, else $HOME/.local/share/kestrelio.
// Either argument may be null or empty (unset). Returns "" when neither is usable.
std::string DefaultProfileDir(const char* xdg_data_home, const char* home);

// Paths for `profile_option` (the --profile argument; empty means the default from the
// environment). A relative folder is made absolute against the working directory.
ProfilePaths MakeProfilePaths(std::string_view profile_option);

// Creates the profile folder with its parents when missing. False, with a diagnostic
// line naming the folder and the reason, when it cannot be created or is not a folder.
bool EnsureProfileFolder(const ProfilePaths& paths);

// Creates the study folder when missing (an existing folder is not an error).
bool EnsureStudyFolder(const ProfilePaths& paths);

}  // namespace kestrelio
