#include "device/updater.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <thread>

#include "tests/support/scratch_dir.h"

namespace kestrelio {
namespace {

std::string WaitForFile(const std::string& path) {
  // The updater runs detached; its marker appears when it has run.
  while (!std::filesystem::exists(path + ".done")) std::this_thread::yield();
  return ScratchDir::Read(path);
}

TEST(UpdaterTest, OnlyTheExactRestartCommandLineSkipsTheUpdate) {
  EXPECT_FALSE(ShouldLaunchUpdaterAtStartUp("restart"));
  EXPECT_TRUE(ShouldLaunchUpdaterAtStartUp(""));
  EXPECT_TRUE(ShouldLaunchUpdaterAtStartUp("restart "));
  EXPECT_TRUE(ShouldLaunchUpdaterAtStartUp("Restart"));
  EXPECT_TRUE(ShouldLaunchUpdaterAtStartUp("restart now"));
}

TEST(UpdaterTest, LaunchesTheUpdaterBesideTheProgramWithItsModeArguments) {
  ScratchDir dir;
  std::string marker = dir.File("marker");
  std::string script = dir.Write(kUpdaterProgramName, "#!/bin/sh\necho \"$@\" > '" + marker +
                                                          "'\ntouch '" + marker + ".done'\n");
  ::chmod(script.c_str(), 0755);

  ASSERT_TRUE(LaunchUpdater(dir.path(), UpdaterMode::kStartUp));
  EXPECT_EQ(WaitForFile(marker), "1005\n");
  std::filesystem::remove(marker + ".done");
  ASSERT_TRUE(LaunchUpdater(dir.path(), UpdaterMode::kMenu));
  EXPECT_EQ(WaitForFile(marker), "1005 -m\n");
}

TEST(UpdaterTest, MissingOrNonExecutableUpdaterIsNotLaunched) {
  ScratchDir dir;
  EXPECT_FALSE(LaunchUpdater(dir.path(), UpdaterMode::kStartUp));
  dir.Write(kUpdaterProgramName, "#!/bin/sh\n");  // not executable
  EXPECT_FALSE(LaunchUpdater(dir.path(), UpdaterMode::kStartUp));
  EXPECT_FALSE(ProgramDir().empty());
}

}  // namespace
}  // namespace kestrelio
