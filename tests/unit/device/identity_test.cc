#include "device/identity.h"

#include <gtest/gtest.h>

#include "device/settings_store.h"
#include "tests/support/fake_window.h"
#include "tests/support/scratch_dir.h"

namespace kestrelio {
namespace {

class FixedLine : public TelephonyLine {
 public:
  explicit FixedLine(std::string number) : number_(std::move(number)) {}
  std::string OwnNumber() override { return number_; }

 private:
  std::string number_;
};

const UtcTime kNoon{2026, 12, 8, 14, 16, 39, 123};  // fields sum to 2238
UtcTime FixedClock() { return kNoon; }

TEST(IdentityTest, GeneratedNumberFollowsTheRuntimeGeneratorAndIsKeptOnLaterStarts) {
  // The runtime's generator gives 41 as the first value after seeding with 1.
  EXPECT_EQ(FirstRandAfterSeed(1), 41);
  EXPECT_EQ(GeneratePhoneNumber(kNoon), "12063337346");  // first value 7346

  ScratchDir dir;
  FakeWindow window;
  NoTelephonyLine no_line;
  {
    SettingsStore store(dir.File("settings.ini"));
    Identity identity = ReadIdentity(store, no_line, window, FixedClock);
    EXPECT_EQ(identity.phone_number, "12063337346");
    EXPECT_EQ(identity.user_name, "Kestrelio");
  }
  // A later start at another time keeps the stored number.
  SettingsStore store(dir.File("settings.ini"));
  UtcTime later = kNoon;
  later.millisecond = 999;
  Identity identity = ReadIdentity(store, no_line, window, [later] { return later; });
  EXPECT_EQ(identity.phone_number, "12063337346");
  EXPECT_TRUE(window.Boxes().empty());
}

TEST(IdentityTest, TelephonyNumberWinsAndOverwritesTheStoredOne) {
  ScratchDir dir;
  FakeWindow window;
  SettingsStore store(dir.File("settings.ini"));
  store.SetString(kKestrelioKey, kPhoneNumberName, "12065550000");
  store.SetString(kKestrelioKey, kUserNameName, "Ann");

  NoTelephonyLine no_line;
  EXPECT_EQ(ReadIdentity(store, no_line, window, FixedClock).phone_number, "12065550000");

  FixedLine line("12069998888");
  Identity identity = ReadIdentity(store, line, window, FixedClock);
  EXPECT_EQ(identity.phone_number, "12069998888");
  EXPECT_EQ(identity.user_name, "Ann");
  EXPECT_EQ(store.GetString(kKestrelioKey, kPhoneNumberName), "12069998888");
}

TEST(IdentityTest, InaccessibleStoreShowsTheRegistryMessageAndFallsBack) {
  ScratchDir dir;
  std::filesystem::create_directory(dir.File("settings.ini"));  // cannot be read
  SettingsStore store(dir.File("settings.ini"));

  FakeWindow window;
  NoTelephonyLine no_line;
  Identity identity = ReadIdentity(store, no_line, window, FixedClock);
  ASSERT_EQ(window.Boxes().size(), 1u);
  EXPECT_EQ(window.Boxes()[0].text, "Acessing the registry is error.");
  EXPECT_EQ(window.Boxes()[0].caption, "REGISTRY");
  EXPECT_EQ(identity.phone_number, "");
  EXPECT_EQ(identity.user_name, "Kestrelio");

  // With a telephony number, that number also stands in for the user name.
  FixedLine line("12061112222");
  identity = ReadIdentity(store, line, window, FixedClock);
  EXPECT_EQ(identity.phone_number, "12061112222");
  EXPECT_EQ(identity.user_name, "12061112222");
}

TEST(IdentityTest, StoredValuesAreBoundedAndCommasNeverReachTheName) {
  ScratchDir dir;
  FakeWindow window;
  NoTelephonyLine no_line;
  SettingsStore store(dir.File("settings.ini"));
  store.SetString(kKestrelioKey, kPhoneNumberName, std::string(40, '7'));
  store.SetString(kKestrelioKey, kUserNameName, std::string(29, 'n') + "\xC3\xA9\xC3\xA9,x");

  Identity identity = ReadIdentity(store, no_line, window, FixedClock);
  EXPECT_EQ(identity.phone_number, std::string(15, '7'));
  EXPECT_EQ(store.GetString(kKestrelioKey, kPhoneNumberName), std::string(15, '7'));
  // 29 + 2 bytes fit; the second two-byte letter would split at byte 31 and is dropped.
  EXPECT_EQ(identity.user_name, std::string(29, 'n') + "\xC3\xA9");

  store.SetString(kKestrelioKey, kUserNameName, "A,nn");
  EXPECT_EQ(ReadIdentity(store, no_line, window, FixedClock).user_name, "Ann");
  store.SetString(kKestrelioKey, kUserNameName, ",");
  EXPECT_EQ(ReadIdentity(store, no_line, window, FixedClock).user_name, "Kestrelio");

  EXPECT_TRUE(WriteUserName(store, std::string(40, 'w')));
  EXPECT_EQ(store.GetString(kKestrelioKey, kUserNameName), std::string(31, 'w'));
}

TEST(IdentityTest, Utf8TruncationNeverSplitsASequence) {
  EXPECT_EQ(TruncateUtf8("abc", 3), "abc");
  EXPECT_EQ(TruncateUtf8("abcd", 3), "abc");
  EXPECT_EQ(TruncateUtf8("a\xE2\x82\xAC", 3), "a");  // the euro sign needs bytes 2-4
  EXPECT_EQ(TruncateUtf8("a\xE2\x82\xAC", 4), "a\xE2\x82\xAC");
  EXPECT_EQ(TruncateUtf8("\xF0\x9F\x98\x80", 0), "");
}

}  // namespace
}  // namespace kestrelio
