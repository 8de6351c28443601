#include "app/network_plan.h"

#include "base/diag.h"
#include "device/server_address.h"
#include "net/socket/socket_address.h"

namespace kestrelio {

std::optional<NetworkPlan> MakeNetworkPlan(const CommandLine& command_line, SettingsStore& settings,
                                           std::string& error) {
  NetworkPlan plan;
  if (!command_line.bind_address.empty()) {
    auto bind = ParseDottedAddress(command_line.bind_address);
    if (!bind) {
      error = "--bind needs a dotted IPv4 address, not " + command_line.bind_address;
      return std::nullopt;
    }
    plan.bind_ipv4 = *bind;
  }

  HostPort server = PresenceServerAddress(settings);
  if (!command_line.presence.empty()) {
    auto given = ParseHostPort(command_line.presence, kDefaultPresencePort);
    if (!given) {
      error = "--presence needs HOST[:PORT], not " + command_line.presence;
      return std::nullopt;
    }
    server = *given;
  }
  auto address = ResolveIpv4(server.host);
  if (!address) {
    if (!command_line.presence.empty()) {
      error = "cannot resolve presence server " + server.host;
      return std::nullopt;
    }
    Diag("cannot resolve presence server %s; using %s", server.host.c_str(),
         std::string(kDefaultServerHost).c_str());
    address = ParseDottedAddress(kDefaultServerHost);
    server.port = kDefaultPresencePort;
  }
  plan.presence_server = NetAddress{*address, server.port};
  return plan;
}

}  // namespace kestrelio
