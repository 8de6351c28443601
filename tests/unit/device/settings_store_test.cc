#include "device/settings_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <ostream>
#include <string>

#include "device/server_address.h"
#include "tests/support/scratch_dir.h"

namespace kestrelio {
namespace {

TEST(SettingsStoreTest, ValuesSurviveARestartWithCaseInsensitiveNamesAndBackslashKeys) {
  ScratchDir dir;
  std::string file = dir.File("settings.ini");
  {
    SettingsStore store(file);
    EXPECT_EQ(store.load_result(), SettingsLoad::kMissing);
    EXPECT_TRUE(store.Accessible());
    EXPECT_TRUE(store.SetString(kKestrelioKey, "UserName", " Ann\\Lee\n2 "));
    EXPECT_TRUE(store.SetDword(kShellOverridesKey, "Mode", 2));
  }
  SettingsStore again(file);
  EXPECT_EQ(again.load_result(), SettingsLoad::kLoaded);
  EXPECT_EQ(again.GetString("hkey_current_user/software/kestrelio", "username"), " Ann\\Lee\n2 ");
  EXPECT_EQ(again.GetDword(kShellOverridesKey, "MODE"), 2u);
  EXPECT_EQ(again.GetString(kKestrelioKey, "PhoneNumber"), std::nullopt);

  // A hand-written file with registry-style backslashes and spaces around '='.
  dir.Write("hand.ini",
            "; comment\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Power]\r\n"
            "  BattPowerOff = 60\r\nExtPowerOff=0x1E\n# another\n\n");
  SettingsStore hand(dir.File("hand.ini"));
  EXPECT_EQ(hand.load_result(), SettingsLoad::kLoaded);
  EXPECT_EQ(hand.GetDword(kPowerKey, "BattPowerOff"), 60u);
  EXPECT_EQ(hand.GetDword(kPowerKey, "ExtPowerOff"), 30u);
}

class UnreadableDword : public ::testing::TestWithParam<const char*> {};

TEST_P(UnreadableDword, DoesNotFit32BitsOrIsNotANumber) {
  ScratchDir dir;
  SettingsStore store(dir.File("settings.ini"));
  store.SetString(kPowerKey, "V", GetParam());
  EXPECT_EQ(store.GetDword(kPowerKey, "V"), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(SettingsStoreTest, UnreadableDword,
                         ::testing::Values("", "-1", "12a", "4294967296", "0x", "0x1FFFFFFFF",
                                           " 5x"));

TEST(SettingsStoreTest, TheLargestDwordIsReadable) {
  ScratchDir dir;
  SettingsStore store(dir.File("settings.ini"));
  store.SetString(kPowerKey, "V", "4294967295");
  EXPECT_EQ(store.GetDword(kPowerKey, "V"), 4294967295u);
}

struct CorruptText {
  const char* name;
  std::string text;
};

void PrintTo(const CorruptText& c, std::ostream* out) { *out << c.name; }

class CorruptFile : public ::testing::TestWithParam<CorruptText> {};

TEST_P(CorruptFile, IsKeptAsideAndDefaultsApply) {
  const std::string& text = GetParam().text;
  ScratchDir dir;
  std::string file = dir.Write("settings.ini", text);
  SettingsStore store(file);
  EXPECT_EQ(store.load_result(), SettingsLoad::kCorrupt) << text.substr(0, 60);
  EXPECT_TRUE(store.Accessible());
  EXPECT_EQ(store.GetString(kKestrelioKey, "UserName"), std::nullopt);
  EXPECT_EQ(ScratchDir::Read(file + ".corrupt"), text) << "the user's file is kept";
  // The fresh store works and writes a new file.
  EXPECT_TRUE(store.SetString(kKestrelioKey, "UserName", "Ann"));
  EXPECT_EQ(SettingsStore(file).GetString(kKestrelioKey, "UserName"), "Ann");
}

INSTANTIATE_TEST_SUITE_P(
    SettingsStoreTest, CorruptFile,
    ::testing::Values(
        CorruptText{"LineWithoutEquals",
                    "[HKEY_CURRENT_USER/SOFTWARE/Kestrelio]\njust some words\n"},
        CorruptText{"BadEscape",
                    "[HKEY_CURRENT_USER/SOFTWARE/Kestrelio]\nUserName=bad\\q escape\n"},
        CorruptText{"EmptySectionName", "[]\n"},
        CorruptText{"EmptyValueName", "[HKEY_CURRENT_USER/SOFTWARE/Kestrelio]\n=no name\n"},
        CorruptText{"NulInAValue",
                    std::string("[HKEY_CURRENT_USER/SOFTWARE/Kestrelio]\nUserName=A\0B\n", 52)},
        CorruptText{"LargerThanAllowed", std::string(kMaxSettingsFileBytes + 1, ';')}),
    [](const auto& instance) { return std::string(instance.param.name); });

TEST(SettingsStoreTest, ACorruptFileKeepsEveryValueThatStillParses) {
  ScratchDir dir;
  const std::string text =
      "[HKEY_CURRENT_USER/SOFTWARE/Kestrelio]\n"
      "UserName=Ana\n"
      "\x01\xff garbage line\n"
      "PhoneNumber=12063331234\n"
      "Broken=bad\\q escape\n"
      "[HKEY_LOCAL_MACHINE/SYSTEM/CurrentControlSet/Control/Power]\n"
      "BattPowerOff=120\n"
      "[half a header\n"
      "LostUnderIt=1\n"
      "[HKEY_CURRENT_USER/ControlPanel/Notifications/ShellOverrides]\n"
      "Mode=2\n";
  const std::string file = dir.Write("settings.ini", text);
  SettingsStore store(file);
  EXPECT_EQ(store.load_result(), SettingsLoad::kCorrupt);
  EXPECT_EQ(ScratchDir::Read(file + ".corrupt"), text) << "the user's file is kept aside";
  EXPECT_EQ(store.GetString(kKestrelioKey, "UserName"), "Ana");
  EXPECT_EQ(store.GetString(kKestrelioKey, "PhoneNumber"), "12063331234");
  EXPECT_EQ(store.GetDword(kPowerKey, "BattPowerOff"), 120u);
  EXPECT_EQ(store.GetDword(kShellOverridesKey, "Mode"), 2u);
  EXPECT_EQ(store.GetString(kKestrelioKey, "Broken"), std::nullopt);
  EXPECT_EQ(store.GetString("half a header", "LostUnderIt"), std::nullopt);
  // The recovered values are in a sound file now: a restart reads them as loaded.
  SettingsStore again(file);
  EXPECT_EQ(again.load_result(), SettingsLoad::kLoaded);
  EXPECT_EQ(again.GetString(kKestrelioKey, "PhoneNumber"), "12063331234");
}

TEST(SettingsStoreTest, TheNameAndNumberAreRecoveredEvenWhenTheirHeaderIsDamaged) {
  ScratchDir dir;
  for (const std::string& text : {
           std::string(
               "[HKEY_CURRENT_USER/SOFTWARE/Kestrelio\nUserName=Ann\nPhoneNumber=12063330001\n"
               "Other=x\n"),
           std::string("UserName=Ann\nPhoneNumber=12063330001\n"),
           std::string("\0\0\0\nUserName=Ann\nPhoneNumber=12063330001\n", 41),
       }) {
    const std::string file = dir.Write("settings.ini", text);
    std::filesystem::remove(file + ".corrupt");
    SettingsStore store(file);
    EXPECT_EQ(store.load_result(), SettingsLoad::kCorrupt);
    EXPECT_EQ(store.GetString(kKestrelioKey, "UserName"), "Ann") << text;
    EXPECT_EQ(store.GetString(kKestrelioKey, "PhoneNumber"), "12063330001") << text;
    EXPECT_EQ(store.GetString(kKestrelioKey, "Other"), std::nullopt) << text;
  }
  // A sound section's own values win over orphaned ones.
  int dropped = 0;
  auto sections = SalvageSettingsText(
      "UserName=Orphan\n[HKEY_CURRENT_USER/SOFTWARE/Kestrelio]\nUserName=Sound\n", dropped);
  ASSERT_EQ(sections.size(), 1u);
  EXPECT_EQ(sections[0].values,
            (std::vector<std::pair<std::string, std::string>>{{"UserName", "Sound"}}));
  EXPECT_EQ(dropped, 0);
}

TEST(SettingsStoreTest, UnreadableFileLeavesTheStoreInaccessibleAndUntouched) {
  ScratchDir dir;
  // A folder where the file should be cannot be read.
  std::filesystem::create_directory(dir.File("settings.ini"));
  SettingsStore store(dir.File("settings.ini"));
  EXPECT_EQ(store.load_result(), SettingsLoad::kUnreadable);
  EXPECT_FALSE(store.Accessible());
  EXPECT_FALSE(store.SetString(kKestrelioKey, "UserName", "Ann"));
  EXPECT_FALSE(store.CreateKey(kKestrelioKey));
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("settings.ini")));

  if (::geteuid() != 0) {  // root reads anything
    std::string file = dir.Write("locked.ini", "[K]\nA=1\n");
    ::chmod(file.c_str(), 0);
    SettingsStore locked(file);
    EXPECT_EQ(locked.load_result(), SettingsLoad::kUnreadable);
    EXPECT_FALSE(locked.SetString("K", "A", "2"));
    ::chmod(file.c_str(), 0600);
    EXPECT_EQ(ScratchDir::Read(file), "[K]\nA=1\n");
  }
}

TEST(SettingsStoreTest, OutsideEditsOfARunningStoreAreSeenAndSpoiledEditsKeepTheOldValues) {
  ScratchDir dir;
  std::string file = dir.File("settings.ini");
  SettingsStore store(file);
  ASSERT_TRUE(store.SetDword(kShellOverridesKey, "Mode", 0));
  // Another program replaces the file (new inode, so the change is seen at once).
  std::string replacement =
      dir.Write("new.ini", "[" + std::string(kShellOverridesKey) + "]\nMode=2\n");
  std::filesystem::rename(replacement, file);
  EXPECT_EQ(store.GetDword(kShellOverridesKey, "Mode"), 2u);

  std::string spoiled = dir.Write("spoiled.ini", "garbage\n");
  std::filesystem::rename(spoiled, file);
  EXPECT_EQ(store.GetDword(kShellOverridesKey, "Mode"), 2u);
  EXPECT_EQ(ScratchDir::Read(file + ".corrupt"), "garbage\n");
}

TEST(SettingsStoreTest, EscapedValuesParseBackExactly) {
  for (std::string value : {"", " ", "a b", "\\", "x\\ny", "\t\r\n", "  two  ", "=;#[]"}) {
    std::string text = "[K]\nV=" + EscapeSettingsValue(value) + "\n";
    std::vector<SettingsSection> sections;
    SettingsParseError error;
    ASSERT_TRUE(ParseSettingsText(text, sections, error)) << error.reason;
    ASSERT_EQ(sections.size(), 1u);
    ASSERT_EQ(sections[0].values.size(), 1u);
    EXPECT_EQ(sections[0].values[0].second, value);
  }
}

TEST(ServerAddressTest, HostPortParsingAndStoredFallbacks) {
  auto parsed = ParseHostPort("presence.example:9000", 8238);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->host, "presence.example");
  EXPECT_EQ(parsed->port, 9000);
  EXPECT_EQ(ParseHostPort("10.0.0.2", 80)->port, 80);
  EXPECT_EQ(ParseHostPort("h:65535", 1)->port, 65535);
  for (const char* bad : {"", ":80", "h:", "h:0", "h:65536", "h:8x", "h:1:2", "a b", "h:123456"}) {
    EXPECT_FALSE(ParseHostPort(bad, 80)) << bad;
  }

  ScratchDir dir;
  SettingsStore store(dir.File("settings.ini"));
  EXPECT_EQ(PresenceServerAddress(store).host, "127.0.0.1");
  EXPECT_EQ(PresenceServerAddress(store).port, 8238);
  EXPECT_EQ(StudyServerAddress(store).port, 80);
  store.SetString(kKestrelioKey, kStudyServerName, "study.example:8080");
  store.SetString(kKestrelioKey, kPresenceServerName, "bad:port");
  EXPECT_EQ(StudyServerAddress(store).host, "study.example");
  EXPECT_EQ(StudyServerAddress(store).port, 8080);
  EXPECT_EQ(PresenceServerAddress(store).port, 8238);
}

}  // namespace
}  // namespace kestrelio
