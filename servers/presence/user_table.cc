#include "servers/presence/user_table.h"

namespace kestrelio {

PresenceUser* UserTable::Find(const PhoneNumber& phone) {
  for (PresenceUser& user : users()) {
    if (user.phone == phone) return &user;
  }
  return nullptr;
}

PresenceUser* UserTable::FindOrAdd(const PhoneNumber& phone, uint64_t now_ms, bool* added) {
  *added = false;
  if (PresenceUser* user = Find(phone)) return user;
  PresenceUser* slot = nullptr;
  if (count_ < users_.size()) {
    slot = &users_[count_++];
  } else {
    for (PresenceUser& user : users()) {
      if (IsOffline(user, now_ms) && (slot == nullptr || user.last_seen_ms < slot->last_seen_ms)) {
        slot = &user;
      }
    }
    if (slot == nullptr) return nullptr;
  }
  *slot = PresenceUser{};
  slot->phone = phone;
  *added = true;
  return slot;
}

uint16_t UserTable::ListedStatus(const PresenceUser& user, uint64_t now_ms) const {
  if (now_ms >= user.last_seen_ms && now_ms - user.last_seen_ms >= offline_after_ms_) {
    return kStatusOffline;
  }
  return user.reported_status;
}

}  // namespace kestrelio
