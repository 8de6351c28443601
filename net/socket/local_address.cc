#include "net/socket/local_address.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <charconv>
#include <cstring>
#include <fstream>
#include <limits>

#include "base/diag.h"

namespace kestrelio {
namespace {

// A route table is a few lines per interface; anything larger is not one.
constexpr size_t kMaxRouteTableBytes = 64 * 1024;
constexpr unsigned kRouteUp = 0x0001;  // RTF_UP

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) fields.push_back(line.substr(start, i - start));
  }
  return fields;
}

std::optional<unsigned long> Number(std::string_view text, int base) {
  unsigned long value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

std::optional<std::string> DefaultRouteInterface(std::string_view route_table) {
  std::optional<std::string> best;
  unsigned long best_metric = std::numeric_limits<unsigned long>::max();
  bool header = true;
  while (!route_table.empty()) {
    size_t end = route_table.find('\n');
    std::string_view line = route_table.substr(0, end);
    route_table = end == std::string_view::npos ? std::string_view() : route_table.substr(end + 1);
    if (header) {  // "Iface Destination Gateway Flags RefCnt Use Metric Mask ..."
      header = false;
      continue;
    }
    std::vector<std::string_view> f = Fields(line);
    if (f.size() < 8) continue;
    auto destination = Number(f[1], 16);
    auto flags = Number(f[3], 16);
    auto metric = Number(f[6], 10);
    auto mask = Number(f[7], 16);
    if (!destination || !flags || !metric || !mask) continue;
    if (*destination != 0 || *mask != 0 || (*flags & kRouteUp) == 0) continue;
    if (*metric < best_metric) {
      best_metric = *metric;
      best = std::string(f[0]);
    }
  }
  return best;
}

uint32_t ChooseLocalAddress(const std::optional<std::string>& default_interface,
                            std::span<const InterfaceAddress> interfaces) {
  if (default_interface) {
    for (const InterfaceAddress& a : interfaces) {
      if (a.name == *default_interface && a.up && a.ipv4 != 0) return a.ipv4;
    }
  }
  for (const InterfaceAddress& a : interfaces) {
    const bool loopback = a.loopback || (a.ipv4 >> 24) == 127;
    if (a.up && !loopback && a.ipv4 != 0) return a.ipv4;
  }
  return kLoopbackIpv4;
}

std::vector<InterfaceAddress> ReadInterfaceAddresses() {
  std::vector<InterfaceAddress> out;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) {
    Diag("getifaddrs failed: no interface addresses");
    return out;
  }
  for (ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
    if (a->ifa_addr == nullptr || a->ifa_addr->sa_family != AF_INET) continue;
    sockaddr_in in{};
    std::memcpy(&in, a->ifa_addr, sizeof in);
    out.push_back(InterfaceAddress{a->ifa_name != nullptr ? a->ifa_name : "",
                                   ntohl(in.sin_addr.s_addr), (a->ifa_flags & IFF_UP) != 0,
                                   (a->ifa_flags & IFF_LOOPBACK) != 0});
  }
  freeifaddrs(list);
  return out;
}

uint32_t FindOwnLocalAddress(const std::string& route_table_path) {
  std::string table;
  std::ifstream file(route_table_path, std::ios::binary);
  if (file) {
    table.resize(kMaxRouteTableBytes);
    file.read(table.data(), static_cast<std::streamsize>(table.size()));
    table.resize(static_cast<size_t>(file.gcount()));
  }
  std::vector<InterfaceAddress> interfaces = ReadInterfaceAddresses();
  return ChooseLocalAddress(DefaultRouteInterface(table), interfaces);
}

}  // namespace kestrelio
