// The presence server's list of users, keyed by phone number: at most 100, in the order
// they first signed in. A user who has been silent for the offline time is listed with
// status 0; when the table is full, the user silent longest among the offline ones makes
// room for a newcomer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "base/net_address.h"
#include "net/wire/endpoint.h"
#include "net/wire/presence_messages.h"

namespace kestrelio {

struct PresenceUser {
  PhoneNumber phone;
  UserName user_name;
  DeviceIdText device_id;
  VersionText version;
  AddressText local_address;
  uint16_t local_port = 0;
  NetAddress public_address;  // the source of the user's datagrams
  AddressText public_text;    // its dotted form, as the messages carry it
  uint16_t reported_status = kStatusIdle;
  uint64_t last_seen_ms = 0;
  bool offline_reported = false;  // the change to offline has been logged

  Endpoint AsEndpoint() const {
    return Endpoint{phone, local_address, local_port, public_text, public_address.port};
  }
};

class UserTable {
 public:
  explicit UserTable(uint64_t offline_after_ms) : offline_after_ms_(offline_after_ms) {}

  PresenceUser* Find(const PhoneNumber& phone);
  // Finds the user or makes room for them (fields other than the phone are left for the
  // caller to fill). nullptr when the table is full of users who are online.
  PresenceUser* FindOrAdd(const PhoneNumber& phone, uint64_t now_ms, bool* added);

  // The status the list shows: 0 once the user has been silent for the offline time.
  uint16_t ListedStatus(const PresenceUser& user, uint64_t now_ms) const;
  bool IsOffline(const PresenceUser& user, uint64_t now_ms) const {
    return ListedStatus(user, now_ms) == kStatusOffline;
  }

  std::span<PresenceUser> users() { return std::span(users_).first(count_); }
  std::span<const PresenceUser> users() const { return std::span(users_).first(count_); }
  size_t size() const { return count_; }

 private:
  uint64_t offline_after_ms_;
  std::array<PresenceUser, kMaxListedUsers> users_{};
  size_t count_ = 0;
};

}  // namespace kestrelio
