#include "device/updater.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "base/diag.h"

extern char** environ;

namespace kestrelio {

std::string ProgramDir() {
  char path[PATH_MAX];
  ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return ".";
  std::string text(path, static_cast<size_t>(length));
  size_t slash = text.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return text.substr(0, slash);
}

bool ShouldLaunchUpdaterAtStartUp(std::string_view command_line) {
  return command_line != "restart";
}

bool LaunchUpdater(const std::string& program_dir, UpdaterMode mode) {
  std::string path = program_dir + "/" + kUpdaterProgramName;
  if (::access(path.c_str(), X_OK) != 0) {
    Diag("no updater at %s", path.c_str());
    return false;
  }
  // A short-lived shell starts the updater in the background and exits at once; we reap
  // the shell, and the updater, orphaned, is reaped by init. So the handset never
  // collects a zombie and never waits for the updater.
  std::vector<const char*> argv = {"/bin/sh", "-c", "\"$0\" \"$@\" </dev/null &", path.c_str(),
                                   "1005"};
  if (mode == UpdaterMode::kMenu) argv.push_back("-m");
  argv.push_back(nullptr);
  pid_t shell = 0;
  int error =
      ::posix_spawn(&shell, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv.data()), environ);
  if (error != 0) {
    Diag("cannot start updater %s: %s", path.c_str(), std::strerror(error));
    return false;
  }
  int status = 0;
  while (::waitpid(shell, &status, 0) < 0 && errno == EINTR) {
  }
  Diag("started updater %s", path.c_str());
  return true;
}

}  // namespace kestrelio
