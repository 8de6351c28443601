#include "net/presence/online_db.h"

#include <algorithm>

#include "base/diag.h"

namespace kestrelio {

std::optional<OnlineUser> OnlineDb::Lookup(std::string_view number) const {
  std::lock_guard lock(mutex_);
  for (size_t i = 0; i < count_; ++i) {
    const Entry& entry = entries_[i];
    if (entry.number.view() == number) {
      return OnlineUser{entry.status, std::string(entry.number.view()),
                        std::string(entry.name.view())};
    }
  }
  return std::nullopt;
}

size_t OnlineDb::Count() const {
  std::lock_guard lock(mutex_);
  return count_;
}

std::vector<OnlineUser> OnlineDb::Snapshot() const {
  std::lock_guard lock(mutex_);
  std::vector<OnlineUser> users;
  users.reserve(count_);
  for (size_t i = 0; i < count_; ++i) {
    const Entry& entry = entries_[i];
    users.push_back(
        OnlineUser{entry.status, std::string(entry.number.view()), std::string(entry.name.view())});
  }
  return users;
}

void OnlineDb::TakePage(const UserListFields& page) {
  if (page.page == 0) {
    Diag("UserListInd page 0 dropped");
    return;
  }
  // Pages and totals past the table's end are capped rather than trusted: a page above
  // the fifth stores nothing, and no count goes beyond the table.
  const size_t first = kOnlineDbPageEntries * (static_cast<size_t>(page.page) - 1);
  const size_t entry_count = std::min<size_t>(page.entry_count, page.entries.size());
  if (first + entry_count > kOnlineDbCapacity || page.total > kOnlineDbCapacity) {
    Diag("UserListInd page %u of %u with %zu entries and total %u capped at %zu entries", page.page,
         page.page_count, entry_count, page.total, kOnlineDbCapacity);
  }
  std::lock_guard lock(mutex_);
  for (size_t i = 0; i < entry_count && first + i < kOnlineDbCapacity; ++i) {
    const UserListEntry& source = page.entries[i];
    Entry& entry = entries_[first + i];
    entry.status = source.status;
    entry.number = source.phone;
    entry.name = source.user_name;
  }
  size_t count = page.page == page.page_count ? page.total : first + entry_count;
  count_ = std::min(count, kOnlineDbCapacity);
}

std::vector<std::string> OnlineDb::SignedInSince(const UserListFields& page) const {
  std::vector<std::string> names;
  const size_t entry_count = std::min<size_t>(page.entry_count, page.entries.size());
  std::lock_guard lock(mutex_);
  for (size_t i = 0; i < entry_count; ++i) {
    const UserListEntry& listed = page.entries[i];
    if (listed.status == kStatusOffline) continue;
    for (size_t j = 0; j < count_; ++j) {
      const Entry& known = entries_[j];
      if (known.status == kStatusOffline && known.number == listed.phone) {
        names.emplace_back(listed.user_name.view());
      }
    }
  }
  return names;
}

}  // namespace kestrelio
