#include "net/wire/net_address.h"

#include <charconv>
#include <cstdio>

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

}  // namespace kestrelio
