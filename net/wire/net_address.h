// An IPv4 address and port as plain numbers (host byte order), with its dotted text.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "net/wire/endpoint.h"

namespace kestrelio {

struct NetAddress {
  uint32_t ipv4 = 0;  // host byte order: 127.0.0.1 is 0x7F000001
  uint16_t port = 0;

  bool operator==(const NetAddress&) const = default;
};

// "a.b.c.d" (always fits the 20-byte address slot).
AddressText DottedAddress(uint32_t ipv4);
// The first IPv4 address of a host name (a dotted address is taken as it is); nullopt,
// with a diagnostic line, when it cannot be resolved.
std::optional<uint32_t> ResolveIpv4(std::string_view host);
// Strict dotted-quad parse; std::nullopt for anything else.
std::optional<uint32_t> ParseDottedAddress(std::string_view text);

}  // namespace kestrelio
