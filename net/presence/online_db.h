// The Online DB: who the presence server last listed, as pages of its user list fill
// it. The UDP thread writes pages; the GUI thread (dial look-up, contacts, remote
// control) reads. An internal mutex makes every read see whole entries.
//
// The table holds five pages of 20 entries: page p (from 1) fills entries
// 20 x (p - 1) .. 20 x (p - 1) + 19. Entries keep their last values until a later page
// overwrites them; only a smaller count on a last page hides them. Nothing is ever
// stored beyond entry 100 and the count never exceeds 100, whatever a page claims.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/wire/presence_messages.h"

namespace kestrelio {

inline constexpr size_t kOnlineDbCapacity = 100;
inline constexpr size_t kOnlineDbPageEntries = 20;

struct OnlineUser {
  uint32_t status = 0;  // 0 offline, 1 idle, 2 in a call
  std::string number;   // at most 15 characters
  std::string name;     // at most 31 bytes

  bool operator==(const OnlineUser&) const = default;
};

class OnlineDb {
 public:
  OnlineDb() = default;
  OnlineDb(const OnlineDb&) = delete;
  OnlineDb& operator=(const OnlineDb&) = delete;

  // The first valid entry whose number equals `number` exactly.
  std::optional<OnlineUser> Lookup(std::string_view number) const;
  // Valid entries (at most 100).
  size_t Count() const;
  // The valid entries, in table order.
  std::vector<OnlineUser> Snapshot() const;

  // Stores the page's entries at their place in the table (entries that would fall
  // beyond entry 100 are dropped) and sets the count: the page's total on the last
  // page, else the entries stored so far; at most 100 either way.
  void TakePage(const UserListFields& page);

  // The user names of the page's online entries that the table lists offline: one name
  // for each valid entry with the same number and status 0, in page order. Read before
  // TakePage to announce who has just signed in.
  std::vector<std::string> SignedInSince(const UserListFields& page) const;

 private:
  struct Entry {
    uint32_t status = 0;
    PhoneNumber number;
    UserName name;
  };

  mutable std::mutex mutex_;
  std::array<Entry, kOnlineDbCapacity> entries_{};
  size_t count_ = 0;
};

}  // namespace kestrelio
