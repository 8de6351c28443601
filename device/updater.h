// Launching the updater program, "kestrelio-updater" beside the handset's executable.
#pragma once

#include <string>
#include <string_view>

namespace kestrelio {

inline constexpr const char* kUpdaterProgramName = "kestrelio-updater";

enum class UpdaterMode {
  kStartUp,  // argument "1005"
  kMenu,     // arguments "1005 -m" (the Check for updates command)
};

// The folder of the running executable (from /proc/self/exe), without trailing slash.
std::string ProgramDir();

// A handset started by the updater gets "restart" as its whole command line and must
// not launch the updater again.
bool ShouldLaunchUpdaterAtStartUp(std::string_view command_line);

// Starts `program_dir`/kestrelio-updater detached (it is not waited for and leaves no
// zombie behind). Returns true when it was started; a missing updater is not an error
// for the user, only a diagnostic line.
bool LaunchUpdater(const std::string& program_dir, UpdaterMode mode);

}  // namespace kestrelio
