#include "net/wire/net_address.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string>

#include "base/diag.h"

namespace kestrelio {

AddressText DottedAddress(uint32_t ipv4) {
  char text[20];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", (ipv4 >> 24) & 0xFF, (ipv4 >> 16) & 0xFF,
                (ipv4 >> 8) & 0xFF, ipv4 & 0xFF);
  return AddressText(text);
}

std::optional<uint32_t> ParseDottedAddress(std::string_view text) {
  uint32_t address = 0;
  const char* p = text.data();
  const char* end = text.data() + text.size();
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (p == end || *p != '.') return std::nullopt;
      ++p;
    }
    unsigned value = 0;
    auto [next, error] = std::from_chars(p, end, value);
    if (error != std::errc() || next == p || next - p > 3 || value > 255) return std::nullopt;
    address = (address << 8) | value;
    p = next;
  }
  if (p != end) return std::nullopt;
  return address;
}

std::optional<uint32_t> ResolveIpv4(std::string_view host) {
  if (auto dotted = ParseDottedAddress(host)) return dotted;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* result = nullptr;
  const std::string name(host);
  int error = getaddrinfo(name.c_str(), nullptr, &hints, &result);
  if (error != 0 || result == nullptr) {
    Diag("cannot resolve host name %s: %s", name.c_str(), gai_strerror(error));
    return std::nullopt;
  }
  std::optional<uint32_t> address;
  if (result->ai_family == AF_INET && result->ai_addr != nullptr &&
      result->ai_addrlen >= sizeof(sockaddr_in)) {
    sockaddr_in in{};
    std::copy_n(reinterpret_cast<const uint8_t*>(result->ai_addr), sizeof(in),
                reinterpret_cast<uint8_t*>(&in));
    address = ntohl(in.sin_addr.s_addr);
  }
  freeaddrinfo(result);
  return address;
}

}  // namespace kestrelio
