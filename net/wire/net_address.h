// The dotted text of an IPv4 address, its strict parse and host name resolution.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "base/net_address.h"
#include "net/wire/endpoint.h"

namespace kestrelio {

// "a.b.c.d" (always fits the 20-byte address slot).
AddressText DottedAddress(uint32_t ipv4);
// The first IPv4 address of a host name (a dotted address is taken as it is); nullopt,
// with a diagnostic line, when it cannot be resolved.
std::optional<uint32_t> ResolveIpv4(std::string_view host);
// Strict dotted-quad parse; std::nullopt for anything else.
std::optional<uint32_t> ParseDottedAddress(std::string_view text);

}  // namespace kestrelio
