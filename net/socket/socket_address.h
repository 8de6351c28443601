// IPv4 addresses between their three forms: the NetAddress numbers the program keeps,
// the sockaddr_in the socket calls take, and the dotted text the messages and logs carry.
#pragma once

#include <netinet/in.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "base/net_address.h"

namespace kestrelio {

// "a.b.c.d" in a fixed buffer: at most 15 characters and the NUL.
class DottedText {
 public:
  static constexpr size_t kMaxChars = 15;

  explicit DottedText(uint32_t ipv4);
  std::string_view view() const { return std::string_view(text_.data()); }
  const char* c_str() const { return text_.data(); }

 private:
  std::array<char, kMaxChars + 1> text_{};
};

// The dotted text of a host-order address.
DottedText DottedAddress(uint32_t ipv4);
// Strict dotted-quad parse: four decimal parts of one to three digits, each at most 255,
// and nothing else. std::nullopt for anything else.
std::optional<uint32_t> ParseDottedAddress(std::string_view text);
// The first IPv4 address of a host name (a dotted address is taken as it is); nullopt,
// with a diagnostic line, when it cannot be resolved.
std::optional<uint32_t> ResolveIpv4(std::string_view host);

sockaddr_in ToSocketAddress(const NetAddress& address);
NetAddress FromSocketAddress(const sockaddr_in& address);

}  // namespace kestrelio
