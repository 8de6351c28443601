#include "app/command_line.h"

#include <string_view>

namespace kestrelio {

std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args,
                                            std::string& error) {
  CommandLine result;
  struct ValueOption {
    std::string_view name;
    std::string CommandLine::*field;
  };
  const ValueOption kValueOptions[] = {
      {"--profile", &CommandLine::profile_dir}, {"--bind", &CommandLine::bind_address},
      {"--presence", &CommandLine::presence},   {"--study-server", &CommandLine::study_server},
      {"--camera", &CommandLine::camera},       {"--ipc-server", &CommandLine::ipc_server},
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--verbose") {
      result.verbose = true;
      continue;
    }
    if (arg.starts_with("--")) {
      const ValueOption* match = nullptr;
      std::string value;
      bool has_value = false;
      for (const ValueOption& option : kValueOptions) {
        if (arg == option.name) {
          match = &option;
          if (i + 1 < args.size()) {
            value = args[++i];
            has_value = true;
          }
        } else if (arg.size() > option.name.size() && arg.starts_with(option.name) &&
                   arg[option.name.size()] == '=') {
          match = &option;
          value = arg.substr(option.name.size() + 1);
          has_value = true;
        }
        if (match != nullptr) break;
      }
      if (match == nullptr) {
        error = "unknown option " + arg;
        return std::nullopt;
      }
      if (!has_value || value.empty()) {
        error = "option " + std::string(match->name) + " needs a value";
        return std::nullopt;
      }
      result.*(match->field) = value;
      continue;
    }
    if (!result.program_arguments.empty()) result.program_arguments += ' ';
    result.program_arguments += arg;
  }
  return result;
}

}  // namespace kestrelio
