// Resolves where the handset's network runs: the --bind address and the presence server
// (--presence, else the settings store, else 127.0.0.1:8238).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/command_line.h"
#include "app/handset.h"

namespace kestrelio {

class SettingsStore;

// nullopt with a one-line reason in `error` when an address given on the command line is
// unusable; a bad stored server address falls back to the default with a diagnostic.
std::optional<NetworkPlan> MakeNetworkPlan(const CommandLine& command_line, SettingsStore& settings,
                                           std::string& error);

}  // namespace kestrelio
