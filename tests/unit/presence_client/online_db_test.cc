#include "net/presence/online_db.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrelio {
namespace {

UserListEntry Listed(uint16_t status, const std::string& number, const std::string& name) {
  UserListEntry entry;
  entry.status = status;
  entry.phone.Assign(number);
  entry.user_name.Assign(name);
  return entry;
}

// A page whose entries are numbered from `first_number` on, all idle.
UserListFields Page(uint16_t page, uint16_t page_count, uint16_t entries, uint16_t total,
                    int first_number = 0) {
  UserListFields fields;
  fields.page = page;
  fields.page_count = page_count;
  fields.entry_count = entries;
  fields.total = total;
  for (uint16_t i = 0; i < entries; ++i) {
    int n = first_number + i;
    fields.entries[i] =
        Listed(kStatusIdle, "1206333" + std::to_string(1000 + n), "user" + std::to_string(n));
  }
  return fields;
}

TEST(OnlineDbPaging, EmptyTableFindsNothing) {
  OnlineDb db;
  EXPECT_EQ(db.Count(), 0u);
  EXPECT_FALSE(db.Lookup("").has_value());
  EXPECT_TRUE(db.Snapshot().empty());
}

TEST(OnlineDbPaging, TwoPagesFillInPlaceAndCountFromTheLastPage) {
  OnlineDb db;
  db.TakePage(Page(1, 2, 20, 27, 0));
  EXPECT_EQ(db.Count(), 20u);
  db.TakePage(Page(2, 2, 7, 27, 20));
  ASSERT_EQ(db.Count(), 27u);
  std::vector<OnlineUser> users = db.Snapshot();
  ASSERT_EQ(users.size(), 27u);
  EXPECT_EQ(users[0].number, "12063331000");
  EXPECT_EQ(users[20].number, "12063331020");
  EXPECT_EQ(users[26].name, "user26");
  EXPECT_EQ(users[26].status, 1u);
}

TEST(OnlineDbPaging, ASmallerLastPageHidesOldEntriesAndALaterPageShowsThemAgain) {
  OnlineDb db;
  db.TakePage(Page(1, 1, 10, 10));
  db.TakePage(Page(1, 1, 3, 3, 50));
  EXPECT_EQ(db.Count(), 3u);
  EXPECT_FALSE(db.Lookup("12063331005").has_value());
  // Entries past the count keep their values; a first page of two reveals them.
  db.TakePage(Page(1, 2, 3, 40, 50));
  ASSERT_EQ(db.Count(), 3u);
  db.TakePage(Page(2, 2, 0, 40));
  ASSERT_EQ(db.Count(), 40u);
  EXPECT_EQ(db.Snapshot()[5].number, "12063331005");
}

TEST(OnlineDbPaging, LookupIsExactAndTheFirstMatchWins) {
  OnlineDb db;
  UserListFields page = Page(1, 1, 3, 3);
  page.entries[0] = Listed(kStatusInCall, "12063330001", "first");
  page.entries[2] = Listed(kStatusIdle, "12063330001", "second");
  db.TakePage(page);
  std::optional<OnlineUser> found = db.Lookup("12063330001");
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(found->name, "first");
  EXPECT_EQ(found->status, 2u);
  EXPECT_FALSE(db.Lookup("1206333000").has_value());
  EXPECT_FALSE(db.Lookup("120633300011").has_value());
}

// The wire parser refuses these pages; the table must hold even if one gets through.
TEST(OnlineDbPaging, PagesAndTotalsBeyondTheTableAreCapped) {
  OnlineDb db;
  db.TakePage(Page(5, 5, 20, 100, 80));
  EXPECT_EQ(db.Count(), 100u);
  EXPECT_EQ(db.Snapshot()[99].name, "user99");

  db.TakePage(Page(6, 6, 20, 120, 200));  // would be entries 100..119
  EXPECT_EQ(db.Count(), 100u);
  EXPECT_FALSE(db.Lookup("12063331200").has_value());

  db.TakePage(Page(1, 1, 20, 60000, 300));
  EXPECT_EQ(db.Count(), 100u);

  db.TakePage(Page(9000, 9001, 20, 5));  // not the last page: 20 x 8999 + 20 entries
  EXPECT_EQ(db.Count(), 100u);
  EXPECT_EQ(db.Snapshot().size(), 100u);

  UserListFields zero = Page(0, 1, 20, 20, 400);
  db.TakePage(zero);
  EXPECT_FALSE(db.Lookup("12063331400").has_value());
}

TEST(OnlineDbSignIn, OnlyUsersListedOfflineAreAnnounced) {
  OnlineDb db;
  UserListFields before = Page(1, 1, 3, 3);
  before.entries[0].status = kStatusOffline;  // 1000 offline
  before.entries[1].status = kStatusOffline;  // 1001 offline
  db.TakePage(before);

  UserListFields now = Page(1, 1, 4, 4);
  now.entries[1].status = kStatusOffline;              // 1001 still offline
  now.entries[3] = Listed(kStatusIdle, "999", "new");  // unknown: not announced
  std::vector<std::string> names = db.SignedInSince(now);
  EXPECT_EQ(names, (std::vector<std::string>{"user0"}));

  db.TakePage(now);
  EXPECT_TRUE(db.SignedInSince(now).empty());
}

TEST(OnlineDbSignIn, EntriesBeyondTheCountAreNotCompared) {
  OnlineDb db;
  UserListFields before = Page(1, 1, 5, 5);
  before.entries[4].status = kStatusOffline;
  db.TakePage(before);
  db.TakePage(Page(1, 1, 2, 2));  // entry 4 is no longer valid
  UserListFields now = Page(1, 1, 5, 5);
  EXPECT_TRUE(db.SignedInSince(now).empty());
}

}  // namespace
}  // namespace kestrelio
