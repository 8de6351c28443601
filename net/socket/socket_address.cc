#include "net/socket/socket_address.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string>

#include "base/diag.h"

namespace kestrelio {

DottedText::DottedText(uint32_t ipv4) {
  std::snprintf(text_.data(), text_.size(), "%u.%u.%u.%u", (ipv4 >> 24) & 0xFF, (ipv4 >> 16) & 0xFF,
                (ipv4 >> 8) & 0xFF, ipv4 & 0xFF);
}

DottedText DottedAddress(uint32_t ipv4) { return DottedText(ipv4); }

std::optional<uint32_t> ParseDottedAddress(std::string_view text) {
  constexpr int kParts = 4;
  constexpr size_t kMaxDigits = 3;
  constexpr unsigned kMaxPart = 255;
  uint32_t address = 0;
  const char* p = text.data();
  const char* end = text.data() + text.size();
  for (int part = 0; part < kParts; ++part) {
    if (part > 0) {
      if (p == end || *p != '.') return std::nullopt;
      ++p;
    }
    unsigned value = 0;
    auto [next, error] = std::from_chars(p, end, value);
    if (error != std::errc() || next == p || static_cast<size_t>(next - p) > kMaxDigits ||
        value > kMaxPart) {
      return std::nullopt;
    }
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
  const int error = getaddrinfo(name.c_str(), nullptr, &hints, &result);
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

sockaddr_in ToSocketAddress(const NetAddress& address) {
  sockaddr_in out{};
  out.sin_family = AF_INET;
  out.sin_addr.s_addr = htonl(address.ipv4);
  out.sin_port = htons(address.port);
  return out;
}

NetAddress FromSocketAddress(const sockaddr_in& address) {
  return NetAddress{ntohl(address.sin_addr.s_addr), ntohs(address.sin_port)};
}

}  // namespace kestrelio
