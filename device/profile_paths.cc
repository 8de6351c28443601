#include "device/profile_paths.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "base/diag.h"

namespace kestrelio {
namespace {

namespace fs = std::filesystem;

bool EnsureFolder(const std::string& folder, const char* what) {
  std::error_code error;
  if (fs::is_directory(folder, error)) return true;
  if (fs::exists(folder, error)) {
    Diag("cannot use %s %s: it exists and is not a folder", what, folder.c_str());
    return false;
  }
  fs::create_directories(folder, error);
  if (error || !fs::is_directory(folder)) {
    Diag("cannot create %s %s: %s", what, folder.c_str(),
         error ? error.message().c_str() : "not created");
    return false;
  }
  Diag("created %s %s", what, folder.c_str());
  return true;
}

}  // namespace

std::string DefaultProfileDir(const char* xdg_data_home, const char* home) {
  // The XDG rules ignore relative values.
  if (xdg_data_home != nullptr && xdg_data_home[0] == '/') {
    return std::string(xdg_data_home) + "/kestrelio";
  }
  if (home != nullptr && home[0] == '/') return std::string(home) + "/.local/share/kestrelio";
  return {};
}

ProfilePaths MakeProfilePaths(std::string_view profile_option) {
  std::string dir(profile_option);
  if (dir.empty()) dir = DefaultProfileDir(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
  if (dir.empty()) dir = ".kestrelio";
  std::error_code error;
  fs::path absolute = fs::absolute(dir, error);
  if (!error) dir = absolute.lexically_normal().string();
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();

  ProfilePaths paths;
  paths.profile_dir = dir;
  paths.settings_file = dir + "/settings.ini";
  paths.study_folder = dir + "/My Documents/Personal/Kestrelio/";
  paths.diagnostic_log = dir + "/diagnostic.log";
  return paths;
}

bool EnsureProfileFolder(const ProfilePaths& paths) {
  return EnsureFolder(paths.profile_dir, "profile folder");
}

bool EnsureStudyFolder(const ProfilePaths& paths) {
  return EnsureFolder(paths.study_folder, "study folder");
}

}  // namespace kestrelio
