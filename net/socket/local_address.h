// The handset's own local IPv4 address: the address of the interface that carries the
// default route, else the first non-loopback address of an interface that is up, else
// 127.0.0.1 when the machine has no network at all. Resolving the host name is not
// used: on a stock Debian machine it yields 127.0.1.1, a loopback address.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrelio {

struct InterfaceAddress {
  std::string name;
  uint32_t ipv4 = 0;  // host byte order
  bool up = false;
  bool loopback = false;
};

inline constexpr uint32_t kLoopbackIpv4 = 0x7F000001;  // 127.0.0.1

// The interface of the default route (destination and mask 0, route up) with the lowest
// metric in the text of /proc/net/route; nullopt when there is none or the text is not
// a route table.
std::optional<std::string> DefaultRouteInterface(std::string_view route_table);

// Applies the rule above to a list of interface addresses.
uint32_t ChooseLocalAddress(const std::optional<std::string>& default_interface,
                            std::span<const InterfaceAddress> interfaces);

// The IPv4 addresses of this machine's interfaces (getifaddrs); empty on failure.
std::vector<InterfaceAddress> ReadInterfaceAddresses();

// The rule applied to this machine: `route_table_path` is /proc/net/route outside tests.
uint32_t FindOwnLocalAddress(const std::string& route_table_path = "/proc/net/route");

}  // namespace kestrelio
