// The handset's command line:
//   kestrelio [--profile DIR] [--bind ADDR] [--presence HOST[:PORT]]
//             [--study-server HOST[:PORT]] [--camera synthetic|v4l2|PATH]
//             [--ipc-server PATH] [--verbose] [restart]
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kestrelio {

struct CommandLine {
  std::string profile_dir;   // empty: the default profile
  std::string bind_address;  // empty: any address
  std::string presence;      // empty: from the settings store
  std::string study_server;  // empty: from the settings store
  std::string camera;        // empty: choose automatically
  std::string ipc_server;    // empty: no remote control
  bool verbose = false;
  // The positional words joined by one space; "restart" alone suppresses the updater.
  std::string program_arguments;
};

// Parses argv (without argv[0]). On a bad or unknown option returns nullopt and puts a
// one-line reason in `error`.
std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args,
                                            std::string& error);

}  // namespace kestrelio
