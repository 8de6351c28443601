#include "device/profile_paths.h"

#include <gtest/gtest.h>

#include "device/autostart.h"
#include "tests/support/scratch_dir.h"

namespace kestrelio {
namespace {

TEST(ProfilePathsTest, DefaultFolderFollowsXdgRules) {
  EXPECT_EQ(DefaultProfileDir("/data", "/home/ann"), "/data/kestrelio");
  EXPECT_EQ(DefaultProfileDir("", "/home/ann"), "/home/ann/.local/share/kestrelio");
  EXPECT_EQ(DefaultProfileDir("relative", "/home/ann"), "/home/ann/.local/share/kestrelio");
  EXPECT_EQ(DefaultProfileDir(nullptr, nullptr), "");

  ProfilePaths paths = MakeProfilePaths("/tmp/p//");
  EXPECT_EQ(paths.profile_dir, "/tmp/p");
  EXPECT_EQ(paths.settings_file, "/tmp/p/settings.ini");
  EXPECT_EQ(paths.study_folder, "/tmp/p/My Documents/Personal/Kestrelio/");
  EXPECT_EQ(paths.diagnostic_log, "/tmp/p/diagnostic.log");
}

TEST(ProfilePathsTest, MissingFoldersAreCreatedAndAFileInTheWayIsRefused) {
  ScratchDir dir;
  ProfilePaths paths = MakeProfilePaths(dir.File("new/profile"));
  ASSERT_TRUE(EnsureProfileFolder(paths));
  ASSERT_TRUE(EnsureStudyFolder(paths));
  EXPECT_TRUE(std::filesystem::is_directory(paths.study_folder));
  EXPECT_TRUE(EnsureStudyFolder(paths));  // existing is fine

  dir.Write("plain-file", "x");
  EXPECT_FALSE(EnsureProfileFolder(MakeProfilePaths(dir.File("plain-file"))));
  EXPECT_FALSE(EnsureProfileFolder(MakeProfilePaths(dir.File("plain-file/below"))));
}

TEST(AutostartTest, EntryIsCreatedFoundAndRemoved) {
  EXPECT_EQ(AutostartEntryPath("/cfg", "/home/ann"), "/cfg/autostart/kestrelio.desktop");
  EXPECT_EQ(AutostartEntryPath(nullptr, "/home/ann"),
            "/home/ann/.config/autostart/kestrelio.desktop");
  ScratchDir dir;
  std::string entry = AutostartEntryPath(dir.path().c_str(), nullptr);
  EXPECT_FALSE(AutostartEntryExists(entry));
  ASSERT_TRUE(CreateAutostartEntry(entry, "/opt/my apps/kestrelio"));
  EXPECT_TRUE(AutostartEntryExists(entry));
  EXPECT_NE(ScratchDir::Read(entry).find("Exec=\"/opt/my apps/kestrelio\"\n"), std::string::npos);
  EXPECT_TRUE(RemoveAutostartEntry(entry));
  EXPECT_FALSE(AutostartEntryExists(entry));
  EXPECT_TRUE(RemoveAutostartEntry(entry));  // already gone is fine
}

}  // namespace
}  // namespace kestrelio
