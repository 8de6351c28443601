// Messages between a handset and the presence server (UDP port 8238).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "net/wire/endpoint.h"
#include "net/wire/header.h"

namespace kestrelio {

inline constexpr char kProgramVersion[] = "1.0.5";
inline constexpr uint16_t kStatusOffline = 0;
inline constexpr uint16_t kStatusIdle = 1;
inline constexpr uint16_t kStatusInCall = 2;

// KeepAlive (65, 124 bytes), handset to server every 10 s:
//   4 counter (lower 16 bits) | 6 phone[16] | 22 local address[20] | 42 local port (8200)
//   44 user name[32] | 76 version[16] "1.0.5" | 92 device ID[22] | 114 status (1 idle,
//   2 in a call) | 116 the eight characters "keep ali" with no NUL (the length ends there)
// The parser reads through the status (116 bytes); the marker is not checked.
struct KeepAliveFields {
  uint16_t counter = 0;
  PhoneNumber phone;
  AddressText local_address;
  uint16_t local_port = kHandsetUdpPort;
  UserName user_name;
  VersionText version{kProgramVersion};
  DeviceIdText device_id;
  uint16_t status = kStatusIdle;

  bool operator==(const KeepAliveFields&) const = default;
};
inline constexpr size_t kKeepAliveBytes = 124;
inline constexpr char kKeepAliveMarker[] = "keep ali";
size_t BuildKeepAlive(std::span<uint8_t> out, const KeepAliveFields& fields);
std::optional<KeepAliveFields> ParseKeepAlive(std::span<const uint8_t> datagram);

// UserListInd (66), server to handset, one page of the online-user list:
//   4 word4: the counter of the KeepAlive being answered (0 when unsolicited)
//   6 the receiver's public address[20] | 26 its public port | 28 page, from 1
//   30 page count | 32 entries in this page (at most 20) | 34 total users
//   36 entries, 50 bytes each: status u16 (0 offline) | phone[16] | user name[32]
// The parser rejects a page whose numbers could not come from a list of at most 100
// users in pages of 20: page 0, a page above the page count, more than five pages, more
// than 20 entries, a total above 100, or fewer bytes than the entries need.
inline constexpr size_t kUserListHeaderBytes = 36;
inline constexpr size_t kUserListEntryBytes = 50;
inline constexpr size_t kUserListPageEntries = 20;
inline constexpr size_t kMaxListedUsers = 100;
inline constexpr size_t kMaxUserListPages = kMaxListedUsers / kUserListPageEntries;
struct UserListEntry {
  uint16_t status = kStatusOffline;
  PhoneNumber phone;
  UserName user_name;

  bool operator==(const UserListEntry&) const = default;
};
struct UserListFields {
  uint16_t word4 = 0;
  AddressText public_address;
  uint16_t public_port = 0;
  uint16_t page = 1;
  uint16_t page_count = 1;
  uint16_t total = 0;
  uint16_t entry_count = 0;
  std::array<UserListEntry, kUserListPageEntries> entries{};

  std::span<const UserListEntry> page_entries() const {
    return std::span(entries).first(entry_count);
  }
};
inline constexpr size_t UserListIndBytes(size_t entries) {
  return kUserListHeaderBytes + kUserListEntryBytes * entries;
}
size_t BuildUserListInd(std::span<uint8_t> out, const UserListFields& fields);
std::optional<UserListFields> ParseUserListInd(std::span<const uint8_t> datagram);

// CallRequest (67, 38 bytes), handset to server:
//   4 server message counter | 6 own phone[16] | 22 phone to call[16]
struct CallRequestFields {
  uint16_t counter = 0;
  PhoneNumber phone;
  PhoneNumber callee;

  bool operator==(const CallRequestFields&) const = default;
};
inline constexpr size_t kCallRequestBytes = 38;
size_t BuildCallRequest(std::span<uint8_t> out, const CallRequestFields& fields);
std::optional<CallRequestFields> ParseCallRequest(std::span<const uint8_t> datagram);

// CallConnectInd (68, 112 bytes), server to both parties of a requested call:
//   4 word4: the server's call number, the same in both copies
//   6 role (non-zero: the receiver is the calling side) | 8 the peer's Endpoint[60]
//   68 the receiver's public address[20] | 88 its public port
//   90 set-up note[22]: names the call, at most 21 characters, kept for the call log
using SetupNote = FixedText<22>;
struct CallConnectFields {
  uint16_t call_number = 0;
  uint16_t role = 0;
  Endpoint peer;
  AddressText own_public_address;
  uint16_t own_public_port = 0;
  SetupNote note;

  bool caller() const { return role != 0; }
  bool operator==(const CallConnectFields&) const = default;
};
inline constexpr size_t kCallConnectIndBytes = 112;
size_t BuildCallConnectInd(std::span<uint8_t> out, const CallConnectFields& fields);
std::optional<CallConnectFields> ParseCallConnectInd(std::span<const uint8_t> datagram);

// CallSetupReport (69, 134 bytes), handset to server when the set-up repetitions end:
//   4 server message counter | 6 outcome (1 answered, 0 not) | 8 role (1 caller)
//   10 set-up state (1 waiting, 2 answered) | 12 repetitions (0..10)
//   14 the peer's Endpoint[60] | 74 own Endpoint[60]
struct CallSetupReportFields {
  uint16_t counter = 0;
  uint16_t outcome = 0;
  uint16_t role = 0;
  uint16_t state = 0;
  uint16_t repetitions = 0;
  Endpoint peer;
  Endpoint own;

  bool operator==(const CallSetupReportFields&) const = default;
};
inline constexpr size_t kCallSetupReportBytes = 134;
size_t BuildCallSetupReport(std::span<uint8_t> out, const CallSetupReportFields& fields);
std::optional<CallSetupReportFields> ParseCallSetupReport(std::span<const uint8_t> datagram);

}  // namespace kestrelio
