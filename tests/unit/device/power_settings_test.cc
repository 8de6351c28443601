#include "device/power_settings.h"

#include <gtest/gtest.h>

#include "device/settings_store.h"
#include "tests/support/scratch_dir.h"

namespace kestrelio {
namespace {

TEST(IdleResetTest, NinetyFivePercentOfTheShortestNonZeroTimeout) {
  ScratchDir dir;
  SettingsStore store(dir.File("settings.ini"));
  EXPECT_EQ(IdleResetIntervalMs(store), 950000u);

  store.SetDword(kPowerKey, "BattPowerOff", 60);
  store.SetDword(kPowerKey, "ExtPowerOff", 0);
  store.SetDword(kPowerKey, "ScreenPowerOff", 30);
  EXPECT_EQ(IdleResetIntervalMs(store), 28500u);

  // Values above the 1000 s ceiling, zero and unreadable ones do not count.
  store.SetDword(kPowerKey, "BattPowerOff", 5000);
  store.SetString(kPowerKey, "ScreenPowerOff", "soon");
  EXPECT_EQ(IdleResetIntervalMs(store), 950000u);
  store.SetDword(kPowerKey, "ExtPowerOff", 1);
  EXPECT_EQ(IdleResetIntervalMs(store), 950u);
}

TEST(SilentModeTest, OnlyModeTwoIsSilentAndTheKeyIsCreated) {
  ScratchDir dir;
  std::string file = dir.File("settings.ini");
  SettingsStore store(file);
  EXPECT_FALSE(IsSilentMode(store));
  EXPECT_NE(ScratchDir::Read(file).find("[HKEY_CURRENT_USER/ControlPanel/Notifications/"
                                        "ShellOverrides]"),
            std::string::npos);
  for (uint32_t mode : {0u, 1u, 3u}) {
    store.SetDword(kShellOverridesKey, "Mode", mode);
    EXPECT_FALSE(IsSilentMode(store)) << mode;
  }
  store.SetDword(kShellOverridesKey, "Mode", 2);
  EXPECT_TRUE(IsSilentMode(store));
}

}  // namespace
}  // namespace kestrelio
