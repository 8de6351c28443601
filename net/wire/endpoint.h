// The 60-byte Endpoint group: a party's phone number and both of its addresses.
//
//   +0  phone number    16-byte text slot
//   +16 local address   20-byte text slot (dotted IPv4 of the party's own interface)
//   +36 local port      u16le (8200 for every handset)
//   +38 public address  20-byte text slot (as the presence server sees the party)
//   +58 public port     u16le
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/byte_io.h"
#include "base/fixed_text.h"

namespace kestrelio {

using PhoneNumber = FixedText<16>;  // at most 15 characters, 11 digits in practice
using AddressText = FixedText<20>;  // dotted IPv4 address
using UserName = FixedText<32>;
using DeviceIdText = FixedText<22>;
using VersionText = FixedText<16>;

inline constexpr size_t kEndpointBytes = 60;

struct Endpoint {
  PhoneNumber phone;
  AddressText local_address;
  uint16_t local_port = 0;
  AddressText public_address;
  uint16_t public_port = 0;

  bool operator==(const Endpoint&) const = default;
};

void WriteEndpoint(ByteWriter& out, size_t offset, const Endpoint& endpoint);
Endpoint ReadEndpoint(ByteReader& in, size_t offset);

}  // namespace kestrelio
